#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace postello {

class ZIzorAvarivi2000;

// The recipients of one address header (To, Cc or Bcc) of a message.
//
// `Names` and `Addresses` run in parallel (a name may be empty). The lists
// and the header line are kept in step lazily: `SyncedLength` is the length
// of the message's header text when both last agreed, and the lists are
// parsed again from the header only when that length has changed (-1 at
// creation forces the first parse).
class TMailRecipients {
public:
  TMailRecipients(ZIzorAvarivi2000* owner, std::string headerLabel);

  ZIzorAvarivi2000* OwnerMessage;
  std::string HeaderLabel;
  std::vector<std::string> Names;
  std::vector<std::string> Addresses;
  long long SyncedLength = -1;

  void AddAddress(std::string_view name, std::string_view address);
  // Empties the lists and removes the header line.
  void RemoveAll();
  // Parses the header line(s) into the lists unless they are current.
  void ReadFromHeader();
  // Rewrites the header line from the lists ("Name" <address>, ...); no
  // line when the list is empty.
  void WriteToHeader();
};

} // namespace postello

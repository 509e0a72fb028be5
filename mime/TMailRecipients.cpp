#include "mime/TMailRecipients.h"

#include "mime/Encodings.h"
#include "mime/HeaderLines.h"
#include "mime/ZIzorAvarivi2000.h"

namespace postello {

TMailRecipients::TMailRecipients(ZIzorAvarivi2000* owner, std::string headerLabel)
    : OwnerMessage(owner), HeaderLabel(std::move(headerLabel)) {}

void TMailRecipients::AddAddress(std::string_view name, std::string_view address) {
  ReadFromHeader();
  Names.emplace_back(name);
  Addresses.emplace_back(address);
  WriteToHeader();
}

void TMailRecipients::RemoveAll() {
  Names.clear();
  Addresses.clear();
  OwnerMessage->SetHeaderValue(HeaderLabel, "");
  SyncedLength = static_cast<long long>(OwnerMessage->HeaderTextLength());
}

void TMailRecipients::ReadFromHeader() {
  if (static_cast<long long>(OwnerMessage->HeaderTextLength()) == SyncedLength) return;
  Names.clear();
  Addresses.clear();
  const std::string prefix = HeaderLabel + ":";
  for (int n = 0;; ++n) {
    int index = FindHeaderLine(OwnerMessage->Header, prefix, n);
    if (index < 0) break;
    const std::string value = HeaderLineValue(OwnerMessage->Header[static_cast<std::size_t>(index)]);

    std::string name, address;
    bool inAddress = false;
    char closer = 0; // the character that ends the quoted stretch, 0 outside
    auto endEntry = [&]() {
      std::string trimmedName = TrimBlanks(name), trimmedAddress = TrimBlanks(address);
      if (!trimmedAddress.empty()) {
        Names.push_back(DecodeHeaderWords(trimmedName));
        Addresses.push_back(trimmedAddress);
      } else if (!trimmedName.empty()) {
        Names.emplace_back();
        Addresses.push_back(trimmedName);
      }
      name.clear();
      address.clear();
      inAddress = false;
    };
    for (char c : value) {
      if (closer) {
        if (c == closer)
          closer = 0;
        else
          name += c;
        continue;
      }
      switch (c) {
      case '"':
      case '(':
        // "a@b (Name)": text before the quote was the address.
        if (!TrimBlanks(name).empty() && TrimBlanks(address).empty()) {
          address = TrimBlanks(name);
          name.clear();
        }
        closer = c == '"' ? '"' : ')';
        break;
      case ',':
      case ';':
        endEntry();
        break;
      case '<':
        inAddress = true;
        break;
      case '>':
        inAddress = false;
        break;
      default:
        if (inAddress) {
          if (c != ' ') address += c;
        } else {
          name += c;
        }
      }
    }
    endEntry();
    SyncedLength = static_cast<long long>(OwnerMessage->HeaderTextLength());
  }
}

void TMailRecipients::WriteToHeader() {
  while (OwnerMessage->HasHeader(HeaderLabel)) OwnerMessage->SetHeaderValue(HeaderLabel, "");
  if (!Addresses.empty()) {
    std::string value;
    for (std::size_t i = 0; i < Addresses.size(); ++i) {
      if (i) value += ", ";
      const std::string name = i < Names.size() ? TrimBlanks(Names[i]) : std::string();
      if (!name.empty()) value += "\"" + EncodeHeaderWord(name, OwnerMessage->TextCharset(name)) + "\" ";
      value += "<" + TrimBlanks(Addresses[i]) + ">";
    }
    OwnerMessage->SetHeaderValue(HeaderLabel, value);
  }
  SyncedLength = static_cast<long long>(OwnerMessage->HeaderTextLength());
}

} // namespace postello

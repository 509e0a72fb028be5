#pragma once
// One XML part of a zip package parsed piece by piece with expat: the part
// is never held whole. Names come as "namespace|local"; no DTD is
// accepted, so entity tricks cannot blow a small part up.
#include "addressdb/TZipPackage.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace postello {

class TXmlStream {
public:
  using TAttrs = const char**;
  std::function<void(std::string_view name, TAttrs attrs)> onStart;
  std::function<void(std::string_view name)> onEnd;
  std::function<void(std::string_view text)> onText;

  TXmlStream(const TZipPackage& package, const std::string& part);
  ~TXmlStream();
  TXmlStream(const TXmlStream&) = delete;
  TXmlStream& operator=(const TXmlStream&) = delete;

  // Parses the next piece of the part; false once it is parsed whole or
  // Stop() was called. Throws TAddressFileError for bad XML.
  bool Step();
  void ParseAll() { while (Step()) {} }
  // Ends the parse from inside a handler: the rest is not needed.
  void Stop();

  // Value of the attribute with the full name "namespace|local", or nullptr.
  static const char* Attr(TAttrs attrs, std::string_view name);
  // The same by the local name alone, whatever the namespace.
  static const char* LocalAttr(TAttrs attrs, std::string_view local);
  // The local part of a name.
  static std::string_view Local(std::string_view name) {
    const std::size_t bar = name.rfind('|');
    return bar == std::string_view::npos ? name : name.substr(bar + 1);
  }

private:
  const TZipPackage& mPackage;
  std::string mPartName;
  std::unique_ptr<TZipPackage::TPart> mPart;
  XML_ParserStruct* mParser;
  std::string mBuffer;
  bool mDone = false;
  bool mStopped = false;
  bool mDtd = false;
};

} // namespace postello

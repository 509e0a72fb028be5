#include "addressdb/TXmlStream.h"

#include <expat.h>

namespace postello {

TXmlStream::TXmlStream(const TZipPackage& package, const std::string& part)
    : mPackage(package), mPartName(part), mPart(package.Open(part)), mParser(XML_ParserCreateNS(nullptr, '|')),
      mBuffer(64 * 1024, '\0') {
  if (!mParser) throw std::bad_alloc();
  XML_SetUserData(mParser, this);
  XML_SetElementHandler(
      mParser,
      [](void* self, const XML_Char* name, const XML_Char** attrs) {
        auto* s = static_cast<TXmlStream*>(self);
        if (s->onStart) s->onStart(name, attrs);
      },
      [](void* self, const XML_Char* name) {
        auto* s = static_cast<TXmlStream*>(self);
        if (s->onEnd) s->onEnd(name);
      });
  XML_SetCharacterDataHandler(mParser, [](void* self, const XML_Char* text, int len) {
    auto* s = static_cast<TXmlStream*>(self);
    if (s->onText) s->onText(std::string_view(text, static_cast<std::size_t>(len)));
  });
  XML_SetStartDoctypeDeclHandler(mParser, [](void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* s = static_cast<TXmlStream*>(self);
    s->mDtd = true;
    XML_StopParser(s->mParser, XML_FALSE);
  });
}

TXmlStream::~TXmlStream() { XML_ParserFree(mParser); }

void TXmlStream::Stop() {
  mStopped = true;
  XML_StopParser(mParser, XML_FALSE);
}

bool TXmlStream::Step() {
  if (mDone || mStopped) return false;
  const std::size_t got = mPart->Read(mBuffer.data(), mBuffer.size());
  const bool final = got == 0;
  if (XML_Parse(mParser, mBuffer.data(), static_cast<int>(got), final) == XML_STATUS_ERROR) {
    if (mStopped) return false;
    if (mDtd) mPackage.Damaged(mPartName + " enth\xE4lt eine DTD");
    mPackage.Damaged(mPartName + ", Zeile " + std::to_string(XML_GetCurrentLineNumber(mParser)) + ": " +
                     XML_ErrorString(XML_GetErrorCode(mParser)));
  }
  if (final) mDone = true;
  return !mDone;
}

const char* TXmlStream::Attr(TAttrs attrs, std::string_view name) {
  for (; *attrs; attrs += 2)
    if (name == attrs[0]) return attrs[1];
  return nullptr;
}

const char* TXmlStream::LocalAttr(TAttrs attrs, std::string_view local) {
  for (; *attrs; attrs += 2)
    if (Local(attrs[0]) == local) return attrs[1];
  return nullptr;
}

} // namespace postello

#include "smtp/TOutgoingMail.h"

namespace postello {

std::string TOutgoingMail::MessageText() const {
  std::size_t size = 0;
  for (const std::string& item : Data) size += item.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& item : Data) {
    text += item;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> TOutgoingMail::EnvelopeAddresses() const {
  return SplitRecipientList(Recipients);
}

} // namespace postello

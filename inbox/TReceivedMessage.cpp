#include "inbox/TReceivedMessage.h"

#include "core/Cp1252.h"
#include "mime/HeaderLines.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <mutex>

namespace postello {

namespace {

// A part tree deeper or wider than any real report is not walked further.
constexpr int kMaxDepth = 12;
constexpr std::size_t kMaxParts = 256;
constexpr std::size_t kMaxBlocks = 1000;

// The library is set up once per process; its parser options (charsets
// tried for raw 8-bit header bytes) are shared and never change.
GMimeParserOptions* Options() {
  static GMimeParserOptions* options = [] {
    g_mime_init();
    GMimeParserOptions* made = g_mime_parser_options_new();
    static const char* charsets[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(made, charsets);
    return made;
  }();
  return options;
}

template <typename T> struct TUnref {
  void operator()(T* object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T> using TOwned = std::unique_ptr<T, TUnref<T>>;

std::string FromUtf8(const char* text) { return text ? Utf8ToCp1252(text) : std::string(); }

const char* OrEmpty(const char* text) { return text ? text : ""; }

THeaderBlock BlockOf(GMimeObject* object) {
  THeaderBlock block;
  GMimeHeaderList* list = object ? g_mime_object_get_header_list(object) : nullptr;
  const int count = list ? g_mime_header_list_get_count(list) : 0;
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    block.push_back({FromUtf8(g_mime_header_get_name(header)), FromUtf8(g_mime_header_get_value(header)),
                     OrEmpty(g_mime_header_get_raw_value(header))});
  }
  return block;
}

GMimeHeader* FindHeader(GMimeObject* object, std::string_view name) {
  GMimeHeaderList* list = object ? g_mime_object_get_header_list(object) : nullptr;
  const int count = list ? g_mime_header_list_get_count(list) : 0;
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    if (const char* own = g_mime_header_get_name(header); own && SameTextAscii(own, name)) return header;
  }
  return nullptr;
}

void CollectAddresses(InternetAddressList* list, std::vector<std::string>& out, int depth) {
  const int count = list ? internet_address_list_length(list) : 0;
  for (int i = 0; i < count && out.size() < kMaxParts; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      std::string addr = FromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
      // Only what mail can be sent to: a local part, '@', a domain.
      const std::size_t at = addr.find('@');
      const bool control = std::any_of(addr.begin(), addr.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
      if (at != std::string::npos && at > 0 && at + 1 < addr.size() && !control) out.push_back(std::move(addr));
    } else if (INTERNET_ADDRESS_IS_GROUP(address) && depth < 4) {
      CollectAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out, depth + 1);
    }
  }
}

// The bytes of a stream written by a callback, at most cap of them.
template <typename Write> std::string Written(std::size_t cap, Write write) {
  TOwned<GMimeStream> stream(g_mime_stream_mem_new());
  write(stream.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data), std::min<std::size_t>(bytes->len, cap));
}

// The part's content as bytes, transfer encoding undone.
std::string RawContent(GMimeObject* object, std::size_t cap) {
  if (GMIME_IS_PART(object)) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (!content) return {};
    return Written(cap, [&](GMimeStream* out) { g_mime_data_wrapper_write_to_stream(content, out); });
  }
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (!message) return {};
    return Written(cap, [&](GMimeStream* out) { g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, out); });
  }
  return {};
}

// Splits report content into its blocks at empty lines.
std::vector<std::string_view> Blocks(std::string_view text) {
  std::vector<std::string_view> blocks;
  std::size_t start = 0, pos = 0;
  while (pos <= text.size() && blocks.size() < kMaxBlocks) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
    if (blank || end == text.size()) {
      const std::size_t stop = blank ? pos : end;
      if (stop > start) blocks.push_back(text.substr(start, stop - start));
      start = end + 1;
    }
    pos = end + 1;
  }
  return blocks;
}

// The message with its header block cut to whole lines within kHeaderLimit
// (a header of a hundred thousand lines is hostile, not mail). A header
// that runs past the end of what is read is cut here too, never mid-line.
static_assert(TReceivedMessage::kHeaderLimit < TReceivedMessage::kReadLimit);
std::string Bounded(std::string_view bytes) {
  bytes = bytes.substr(0, TReceivedMessage::kReadLimit);
  std::size_t end = bytes.find("\n\n");
  const std::size_t crlf = bytes.find("\n\r\n");
  if (crlf < end) end = crlf;
  if (end == std::string_view::npos ? bytes.size() <= TReceivedMessage::kHeaderLimit : end < TReceivedMessage::kHeaderLimit)
    return std::string(bytes);
  std::size_t cut = bytes.rfind('\n', TReceivedMessage::kHeaderLimit);
  if (cut == std::string_view::npos) cut = TReceivedMessage::kHeaderLimit;
  std::string out(bytes.substr(0, cut));
  out += "\n";
  if (end != std::string_view::npos) out += bytes.substr(end + 1);
  return out;
}

} // namespace

struct TReceivedMessage::TImpl {
  TOwned<GMimeMessage> Message;
  std::vector<GMimeObject*> Objects; // borrowed from Message
  std::vector<TReceivedPart> Parts;

  void Walk(GMimeObject* object, int depth) {
    if (!object || Parts.size() >= kMaxParts) return;
    TReceivedPart part;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type) {
      part.MediaType = LowerCaseAscii(std::string(OrEmpty(g_mime_content_type_get_media_type(type))) + "/" +
                             OrEmpty(g_mime_content_type_get_media_subtype(type)));
      part.ReportType = LowerCaseAscii(OrEmpty(g_mime_content_type_get_parameter(type, "report-type")));
    }
    part.Depth = depth;
    Parts.push_back(std::move(part));
    Objects.push_back(object);
    if (GMIME_IS_MULTIPART(object) && depth < kMaxDepth) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      const int count = g_mime_multipart_get_count(multipart);
      for (int i = 0; i < count; ++i) Walk(g_mime_multipart_get_part(multipart, i), depth + 1);
    }
  }
};

TReceivedMessage::TReceivedMessage(std::string_view bytes) : Impl(std::make_unique<TImpl>()) {
  const std::string bounded = Bounded(bytes);
  GMimeParserOptions* options = Options();
  TOwned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bounded.data(), bounded.size()));
  TOwned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  Impl->Message.reset(g_mime_parser_construct_message(parser.get(), options));
  if (Impl->Message) Impl->Walk(g_mime_message_get_mime_part(Impl->Message.get()), 0);
}

TReceivedMessage::~TReceivedMessage() = default;

std::string TReceivedMessage::Header(std::string_view name) const {
  GMimeHeader* header = FindHeader(GMIME_OBJECT(Impl->Message.get()), name);
  return header ? FromUtf8(g_mime_header_get_value(header)) : std::string();
}

std::vector<std::string> TReceivedMessage::Addresses(std::string_view name) const {
  GMimeHeader* header = FindHeader(GMIME_OBJECT(Impl->Message.get()), name);
  if (!header || !g_mime_header_get_raw_value(header)) return {};
  return ParseAddresses(g_mime_header_get_raw_value(header));
}

const std::vector<TReceivedPart>& TReceivedMessage::Parts() const { return Impl->Parts; }

std::string TReceivedMessage::Content(std::size_t part, std::size_t cap) const {
  if (part >= Impl->Objects.size()) return {};
  GMimeObject* object = Impl->Objects[part];
  if (GMIME_IS_TEXT_PART(object)) {
    char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(object));
    std::string out = FromUtf8(text);
    g_free(text);
    if (out.size() > cap) out.resize(cap);
    return out;
  }
  return RawContent(object, cap);
}

std::vector<THeaderBlock> TReceivedMessage::StatusBlocks(std::size_t part) const {
  std::vector<THeaderBlock> blocks;
  if (part >= Impl->Objects.size()) return blocks;
  const std::string content = RawContent(Impl->Objects[part], kStatusLimit);
  for (std::string_view text : Blocks(content)) {
    THeaderBlock block = ParseHeaderBlock(text);
    if (!block.empty()) blocks.push_back(std::move(block));
  }
  return blocks;
}

THeaderBlock TReceivedMessage::ReturnedHeaders(std::size_t part) const {
  if (part >= Impl->Objects.size()) return {};
  GMimeObject* object = Impl->Objects[part];
  if (GMIME_IS_MESSAGE_PART(object)) return BlockOf(GMIME_OBJECT(g_mime_message_part_get_message(GMIME_MESSAGE_PART(object))));
  const std::string content = RawContent(object, kReadLimit);
  const std::vector<std::string_view> blocks = Blocks(content);
  return blocks.empty() ? THeaderBlock() : ParseHeaderBlock(blocks.front());
}

THeaderBlock TReceivedMessage::ParseHeaderBlock(std::string_view text) {
  GMimeParserOptions* options = Options();
  std::string bytes(text.substr(0, kReadLimit));
  bytes += "\n\n";
  TOwned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  TOwned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  TOwned<GMimeObject> object(g_mime_parser_construct_part(parser.get(), options));
  return BlockOf(object.get());
}

std::vector<std::string> TReceivedMessage::ParseAddresses(std::string_view raw) {
  std::vector<std::string> out;
  const std::string value(raw.substr(0, kReadLimit));
  TOwned<InternetAddressList> list(internet_address_list_parse(Options(), value.c_str()));
  CollectAddresses(list.get(), out, 0);
  return out;
}

std::string FieldValue(const THeaderBlock& block, std::string_view name) {
  for (const THeaderField& field : block)
    if (SameTextAscii(field.Name, name)) return field.Value;
  return {};
}

} // namespace postello

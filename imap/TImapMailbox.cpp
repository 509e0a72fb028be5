#include "imap/TImapMailbox.h"

#include "core/CertProblem.h"
#include "core/TPostfachStore.h"
#include "imap/TImapFolderName.h"
#include "imap/TImapStream.h"

#include <libetpan/libetpan.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <unordered_map>

namespace postello {

namespace {

constexpr const char* kNoTls = "Der Server bietet keine Verschl\xFCsselung an";
constexpr const char* kNotSent = "Anmeldedaten nicht gesendet";


std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Server text for a message: control characters would break the log line.
std::string Printable(const char* text) {
  std::string out;
  for (const char* p = text; p != nullptr && *p != 0 && out.size() < 300; ++p)
    out += static_cast<unsigned char>(*p) < 0x20 ? ' ' : *p;
  return out;
}

std::string Seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

// Owns a libetpan list and frees it with the function that belongs to it.
template <void (*Free)(clist*)>
struct TList {
  clist* L = nullptr;
  ~TList() {
    if (L != nullptr) Free(L);
  }
};

// A set of UIDs, consecutive ones as ranges, for one command.
mailimap_set* UidSet(const std::uint32_t* uids, std::size_t count) {
  std::vector<std::uint32_t> sorted(uids, uids + count);
  std::sort(sorted.begin(), sorted.end());
  mailimap_set* set = mailimap_set_new_empty();
  for (std::size_t i = 0; i < sorted.size();) {
    std::size_t j = i;
    while (j + 1 < sorted.size() && sorted[j + 1] <= sorted[j] + 1) ++j;
    if (sorted[j] == sorted[i])
      mailimap_set_add_single(set, sorted[i]);
    else
      mailimap_set_add_interval(set, sorted[i], sorted[j]);
    i = j + 1;
  }
  return set;
}

struct TFetched {
  std::uint32_t Uid = 0;
  std::uint64_t Size = 0;
  std::string Body;
  bool HasBody = false;
};

TFetched ReadAttributes(mailimap_msg_att* att) {
  TFetched out;
  for (clistiter* it = clist_begin(att->att_list); it != nullptr; it = clist_next(it)) {
    auto* item = static_cast<mailimap_msg_att_item*>(clist_content(it));
    if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC || item->att_data.att_static == nullptr) continue;
    const mailimap_msg_att_static* s = item->att_data.att_static;
    if (s->att_type == MAILIMAP_MSG_ATT_UID) out.Uid = s->att_data.att_uid;
    if (s->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE) out.Size = s->att_data.att_rfc822_size;
    if (s->att_type == MAILIMAP_MSG_ATT_BODY_SECTION && s->att_data.att_body_section != nullptr &&
        s->att_data.att_body_section->sec_body_part != nullptr) {
      out.Body.assign(s->att_data.att_body_section->sec_body_part, s->att_data.att_body_section->sec_length);
      out.HasBody = true;
    }
  }
  return out;
}

} // namespace

std::string TImapLogin::ServerKey() const {
  return (Host.find(':') != std::string::npos ? "[" + Host + "]" : Host) + ":" + Port;
}

TImapLogin TImapLogin::FromServer(const std::string& server) {
  // The text was checked when it was stored; it is checked by the same
  // rule again, since the file may have been edited since.
  const bool bracketed = !server.empty() && server[0] == '[';
  const bool hasPort = bracketed ? server.find("]:") != std::string::npos : server.find(':') != std::string::npos;
  const std::string text = hasPort || (bracketed && server.back() != ']') ? server : server + ":993";
  if (const std::string reason = TPostfachStore::CheckServer(text); !reason.empty()) throw EImapError(reason);
  const std::size_t colon = text.rfind(':');
  TImapLogin login;
  login.Host = text.substr(0, colon);
  if (bracketed) login.Host = login.Host.substr(1, login.Host.size() - 2);
  login.Port = std::to_string(std::stoi(text.substr(colon + 1)));
  login.Security = login.Port == "993" ? TImapSecurity::Tls : TImapSecurity::StartTls;
  return login;
}

struct TImapMailbox::TImpl {
  std::unique_ptr<TBlockSocket> Sock;
  TServerTrust& Trust;
  TImapLimits Limits;
  std::unique_ptr<TImapStream> Stream;
  mailimap* Imap = nullptr;
  std::string Server;  // host:port, for every message
  std::set<std::string> Caps;
  char Separator = 0;
  bool SeparatorKnown = false;
  std::uint32_t UidValidity = 0;
  std::uint32_t Count = 0;
  bool Selected = false;

  TImpl(std::unique_ptr<TBlockSocket> sock, TServerTrust& trust, TImapLimits limits)
      : Sock(std::move(sock)), Trust(trust), Limits(limits) {}

  void Drop() {
    if (Stream) Stream->Shut();
    if (Imap != nullptr) {
      // Frees the stream libetpan was given too.
      mailimap_free(Imap);
      Imap = nullptr;
    }
    Stream.reset();
    if (Sock) Sock->CloseSocket();
    Selected = false;
  }

  std::string WireText(int error) const {
    switch (error) {
      case TBlockSocket::ErrResolve: return "Server nicht gefunden";
      case ECONNREFUSED: return "Verbindung abgelehnt";
      case ENETUNREACH:
      case EHOSTUNREACH: return "Server nicht erreichbar";
      case TBlockSocket::ErrTimedOut:
      case TBlockSocket::ErrDeadline: return "keine Antwort vom Server innerhalb von " + Seconds(Limits.TimeoutMs);
      case TBlockSocket::ErrConnReset: return "Server hat die Verbindung beendet";
      case TBlockSocket::ErrLineTooLong:
      case TImapStream::ErrTooBig:
        return "Antwort des Servers zu gro\xDF (mehr als " + std::to_string(Limits.MaxResponseBytes) + " Bytes)";
      case TBlockSocket::ErrTls: return "TLS-Verbindung fehlgeschlagen";
      case TBlockSocket::ErrCancelled: return "vom Benutzer abgebrochen";
      default: return "Netzwerkfehler " + std::to_string(error);
    }
  }

  [[noreturn]] void Fail(const std::string& what, const std::string& why) {
    Drop();
    throw EImapError(what + " " + Server + " " + why);
  }

  // The reason a libetpan call failed: the stream's, else the server's words.
  [[noreturn]] void FailCall(const std::string& what, int result) {
    std::string why;
    if (Stream && Stream->Error() != 0)
      why = WireText(Stream->Error());
    else if (Imap != nullptr && Imap->imap_response != nullptr && *Imap->imap_response != 0)
      why = Printable(Imap->imap_response);
    else if (result == MAILIMAP_ERROR_PARSE)
      why = "unverst\xE4ndliche Antwort des Servers";
    else
      why = "Fehler " + std::to_string(result);
    Fail(what, "fehlgeschlagen: " + why);
  }

  void Check(int result, const std::string& what) {
    if (result != MAILIMAP_NO_ERROR) FailCall(what, result);
  }

  void TakeCapabilities(mailimap_capability_data* data) {
    Caps.clear();
    if (data == nullptr) return;
    for (clistiter* it = clist_begin(data->cap_list); it != nullptr; it = clist_next(it)) {
      auto* cap = static_cast<struct mailimap_capability*>(clist_content(it));
      if (cap->cap_type == MAILIMAP_CAPABILITY_AUTH_TYPE && cap->cap_data.cap_auth_type != nullptr)
        Caps.insert("AUTH=" + Upper(cap->cap_data.cap_auth_type));
      else if (cap->cap_type == MAILIMAP_CAPABILITY_NAME && cap->cap_data.cap_name != nullptr)
        Caps.insert(Upper(cap->cap_data.cap_name));
    }
  }

  void AskCapabilities() {
    mailimap_capability_data* data = nullptr;
    Check(mailimap_capability(Imap, &data), "Abfrage der F\xE4higkeiten von");
    TakeCapabilities(data);
    mailimap_capability_data_free(data);
  }

  bool Has(const std::string& cap) const { return Caps.count(cap) > 0; }

  void AcceptCertificate() {
    const TPeerCertificate cert = Sock->PeerCertificate();
    if (cert.Problem == TCertProblem::None) return;
    if (!Trust.TrustCertificate(Server, cert))
      Fail("Verbindung zum Postfach", "abgelehnt: " + CertProblemText(cert.Problem));
  }

  void SecureSocket(const std::string& host) {
    if (!Sock->StartTls(host, Limits.TimeoutMs)) Fail("Verbindung zum Postfach", "fehlgeschlagen: " + WireText(Sock->LastError()));
    AcceptCertificate();
  }

  void Open(const TImapLogin& login) {
    Drop();
    Server = login.ServerKey();
    Caps.clear();
    SeparatorKnown = false;
    UidValidity = Count = 0;
    Sock->SetCancelFlag(Limits.Cancel);
    Sock->Connect(login.Host, login.Port);
    if (Sock->LastError() != 0) Fail("Verbindung zum Postfach", "fehlgeschlagen: " + WireText(Sock->LastError()));
    bool tls = false;
    if (login.Security == TImapSecurity::Tls) {
      SecureSocket(login.Host);
      tls = true;
    }
    Stream = std::make_unique<TImapStream>(*Sock, Limits.TimeoutMs, Limits.MaxResponseBytes);
    Imap = mailimap_new(0, nullptr);
    mailstream* stream = mailstream_new(Stream->NewLow(), 8192);
    const int greeting = mailimap_connect(Imap, stream);
    if (greeting != MAILIMAP_NO_ERROR_AUTHENTICATED && greeting != MAILIMAP_NO_ERROR_NON_AUTHENTICATED)
      FailCall("Verbindung zum Postfach", greeting);
    // A greeting that claims we are signed in, before TLS, is how a man in
    // the middle would keep the connection in clear.
    if (greeting == MAILIMAP_NO_ERROR_AUTHENTICATED && !tls)
      Fail("Verbindung zum Postfach", "abgelehnt: unverschl\xFCsselte Voranmeldung (PREAUTH)");
    if (Imap->imap_connection_info != nullptr && Imap->imap_connection_info->imap_capability != nullptr)
      TakeCapabilities(Imap->imap_connection_info->imap_capability);
    else
      AskCapabilities();

    if (!tls && Has("STARTTLS")) {
      Trust.NoteStartTls(Server);
      const int result = mailimap_starttls(Imap);
      // Bytes the server sent after its OK came before the encryption and
      // would be read as if they came after it.
      if (Stream->Error() == 0 &&
          (Stream->HasUnread() || Imap->imap_stream->read_buffer_len > 0 || Sock->InputWaiting()))
        Fail("Verbindung zum Postfach", "abgelehnt: Daten vor dem Beginn der Verschl\xFCsselung");
      Check(result, "STARTTLS bei");
      SecureSocket(login.Host);
      tls = true;
      // What the server said in clear cannot be trusted; ask again.
      AskCapabilities();
    }
    if (!tls) {
      if (Trust.StartTlsSeen(Server))
        Fail("Anmeldung am Postfach",
             std::string("abgelehnt: ") + kNoTls + " (STARTTLS fehlt, obwohl er es fr\xFCher angeboten hat); " + kNotSent);
      if (!Trust.AllowPlainAuth(Server)) Fail("Anmeldung am Postfach", std::string("abgelehnt: ") + kNoTls + "; " + kNotSent);
    }
    if (greeting == MAILIMAP_NO_ERROR_NON_AUTHENTICATED) LogIn(login);
  }

  void LogIn(const TImapLogin& login) {
    int result;
    if (!login.BearerToken.empty() && !Has("AUTH=XOAUTH2"))
      Fail("Anmeldung am Postfach", "abgelehnt: der Server bietet keine Anmeldung mit OAuth (XOAUTH2) an");
    if (!login.BearerToken.empty())
      result = mailimap_oauth2_authenticate(Imap, login.User.c_str(), login.BearerToken.c_str());
    else if (Has("LOGINDISABLED"))
      Fail("Anmeldung am Postfach", "abgelehnt: der Server erlaubt keine Anmeldung mit Passwort (LOGINDISABLED)");
    else
      result = mailimap_login(Imap, login.User.c_str(), login.Password.c_str());
    if (result != MAILIMAP_NO_ERROR) {
      if (Stream->Error() != 0) FailCall("Anmeldung am Postfach", result);
      const std::string why =
          Imap->imap_response != nullptr && *Imap->imap_response != 0 ? Printable(Imap->imap_response) : "ohne Grund";
      Fail("Anmeldung am Postfach", "abgelehnt: " + why);
    }
    // The capabilities may differ once signed in (MOVE, UIDPLUS).
    AskCapabilities();
  }

  void Need(bool selected) {
    if (Imap == nullptr) throw EImapError("Keine Verbindung zum Postfach " + Server);
    if (selected && !Selected) throw EImapError("Kein Ordner im Postfach " + Server + " ge\xF6" "ffnet");
  }

  char Sep() {
    if (!SeparatorKnown) {
      TList<mailimap_list_result_free> list;
      Check(mailimap_list(Imap, "", "", &list.L), "Abfrage der Ordner von");
      if (list.L != nullptr && clist_begin(list.L) != nullptr)
        Separator = static_cast<mailimap_mailbox_list*>(clist_content(clist_begin(list.L)))->mb_delimiter;
      SeparatorKnown = true;
    }
    return Separator;
  }

  std::string WireName(const std::string& folder) {
    const std::vector<std::string> levels = TImapFolderName::Levels(folder);
    if (levels.empty()) throw EImapError("Kein Ordnername f\xFCr das Postfach " + Server);
    // One level needs no separator: INBOX works without the LIST.
    return TImapFolderName::Wire(levels, levels.size(), levels.size() > 1 ? Sep() : 0);
  }

  bool Exists(const std::string& wire) {
    TList<mailimap_list_result_free> list;
    Check(mailimap_list(Imap, "", wire.c_str(), &list.L), "Abfrage der Ordner von");
    return list.L != nullptr && clist_begin(list.L) != nullptr;
  }

  // One UID FETCH of count UIDs for the UID and the attribute body: the
  // answers that carry both, in the server's order. Unasked FETCH answers
  // (flag changes by another client) carry no body and are left out.
  std::vector<TFetched> FetchBodies(const std::uint32_t* uids, std::size_t count, mailimap_fetch_att* body,
                                    bool withSize, const std::string& what) {
    mailimap_fetch_type* type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    if (withSize) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_rfc822_size());
    mailimap_fetch_type_new_fetch_att_list_add(type, body);
    mailimap_set* set = UidSet(uids, count);
    TList<mailimap_fetch_list_free> fetched;
    const int result = mailimap_uid_fetch(Imap, set, type, &fetched.L);
    mailimap_fetch_type_free(type);
    mailimap_set_free(set);
    Check(result, what);
    std::vector<TFetched> out;
    for (clistiter* it = fetched.L != nullptr ? clist_begin(fetched.L) : nullptr; it != nullptr; it = clist_next(it)) {
      TFetched one = ReadAttributes(static_cast<mailimap_msg_att*>(clist_content(it)));
      if (one.Uid != 0 && one.HasBody) out.push_back(std::move(one));
    }
    return out;
  }
};

TImapMailbox::TImapMailbox(std::unique_ptr<TBlockSocket> socket, TServerTrust& trust, TImapLimits limits)
    : F(std::make_unique<TImpl>(std::move(socket), trust, limits)) {}

TImapMailbox::~TImapMailbox() { Close(); }

void TImapMailbox::Open(const TImapLogin& login) { F->Open(login); }

void TImapMailbox::Select(const std::string& folder) {
  F->Need(false);
  const std::string wire = F->WireName(folder);
  F->Selected = false;
  const int result = mailimap_select(F->Imap, wire.c_str());
  if (result != MAILIMAP_NO_ERROR) {
    if (F->Stream->Error() != 0) F->FailCall("\xD6" "ffnen des Ordners \"" + folder + "\" im Postfach", result);
    // The connection stays usable: another folder may be chosen.
    throw EImapError("Ordner \"" + folder + "\" im Postfach " + F->Server + " nicht gefunden oder nicht lesbar: " +
                     Printable(F->Imap->imap_response));
  }
  const mailimap_selection_info* info = F->Imap->imap_selection_info;
  F->UidValidity = info != nullptr ? info->sel_uidvalidity : 0;
  F->Count = info != nullptr ? info->sel_exists : 0;
  F->Selected = true;
}

void TImapMailbox::Close() {
  if (F->Imap != nullptr && F->Stream && F->Stream->Error() == 0) mailimap_logout(F->Imap);
  F->Drop();
}

std::uint32_t TImapMailbox::UidValidity() const { return F->UidValidity; }
std::uint32_t TImapMailbox::Count() const { return F->Count; }

void TImapMailbox::FetchHeaders(const std::function<bool(std::vector<TMailItem>&& batch)>& perBatch) {
  F->Need(true);
  std::vector<std::uint32_t> uids;
  {
    TList<mailimap_search_result_free> found;
    mailimap_search_key* all = mailimap_search_key_new_all();
    const int result = mailimap_uid_search(F->Imap, nullptr, all, &found.L);
    mailimap_search_key_free(all);
    F->Check(result, "Abfrage der Nachrichten im Postfach");
    for (clistiter* it = found.L != nullptr ? clist_begin(found.L) : nullptr; it != nullptr; it = clist_next(it))
      uids.push_back(*static_cast<std::uint32_t*>(clist_content(it)));
  }
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  const std::size_t batch = std::max<std::uint32_t>(F->Limits.Batch, 1);
  for (std::size_t start = 0; start < uids.size(); start += batch) {
    const std::size_t n = std::min(batch, uids.size() - start);
    std::vector<TMailItem> items;
    items.reserve(n);
    for (TFetched& one : F->FetchBodies(uids.data() + start, n,
                                        mailimap_fetch_att_new_body_peek_section(mailimap_section_new_header()), true,
                                        "Abruf der Nachrichtenk\xF6pfe aus dem Postfach"))
      items.push_back(TMailItem{one.Uid, one.Size, std::move(one.Body)});
    std::sort(items.begin(), items.end(), [](const TMailItem& a, const TMailItem& b) { return a.Uid < b.Uid; });
    if (!perBatch(std::move(items))) return;
  }
}

std::vector<std::pair<std::uint32_t, std::string>> TImapMailbox::FetchPrefixes(const std::vector<std::uint32_t>& uids,
                                                                              std::size_t maxBytes) {
  F->Need(true);
  std::vector<std::pair<std::uint32_t, std::string>> out;
  if (uids.empty()) return out;
  const std::uint32_t partial = static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes, UINT32_MAX));
  // A batch's answer must fit the allowance for one command, with room for
  // the protocol around the bytes.
  const std::size_t fit = std::max<std::size_t>(1, F->Limits.MaxResponseBytes / 2 / std::max<std::size_t>(partial, 1));
  const std::size_t batch = std::min<std::size_t>(std::max<std::uint32_t>(F->Limits.Batch, 1), fit);
  std::unordered_map<std::uint32_t, std::string> got;
  for (std::size_t start = 0; start < uids.size(); start += batch) {
    const std::size_t n = std::min(batch, uids.size() - start);
    for (TFetched& one : F->FetchBodies(
             uids.data() + start, n,
             mailimap_fetch_att_new_body_peek_section_partial(mailimap_section_new(nullptr), 0, partial), false,
             "Abruf der Nachrichten aus dem Postfach")) {
      // A server that sends more than was asked for is cut to the size.
      if (one.Body.size() > maxBytes) one.Body.resize(maxBytes);
      got[one.Uid] = std::move(one.Body);
    }
    for (std::size_t i = start; i < start + n; ++i) {
      auto found = got.find(uids[i]);
      if (found != got.end()) out.emplace_back(uids[i], std::move(found->second));
    }
    got.clear();
  }
  return out;
}

void TImapMailbox::EnsureFolder(const std::string& folder) {
  F->Need(false);
  const std::vector<std::string> levels = TImapFolderName::Levels(folder);
  if (levels.empty()) throw EImapError("Kein Ordnername f\xFCr das Postfach " + F->Server);
  const char sep = F->Sep();
  for (std::size_t count = 1; count <= levels.size(); ++count) {
    const std::string wire = TImapFolderName::Wire(levels, count, sep);
    if (F->Exists(wire)) continue;
    const int result = mailimap_create(F->Imap, wire.c_str());
    if (result == MAILIMAP_NO_ERROR) continue;
    if (F->Stream->Error() != 0) F->FailCall("Anlegen des Ordners \"" + folder + "\" im Postfach", result);
    const std::string why = Printable(F->Imap->imap_response);
    // Another client may have been quicker.
    if (!F->Exists(wire))
      throw EImapError("Ordner \"" + folder + "\" im Postfach " + F->Server + " nicht angelegt: " + why);
  }
}

void TImapMailbox::Move(const std::vector<std::uint32_t>& uids, const std::string& folder) {
  F->Need(true);
  const std::string wire = F->WireName(folder);
  const std::size_t batch = std::max<std::uint32_t>(F->Limits.Batch, 1);
  const std::string what = "Verschieben nach \"" + folder + "\" im Postfach";
  for (std::size_t start = 0; start < uids.size(); start += batch) {
    const std::size_t n = std::min(batch, uids.size() - start);
    const auto set = [&] { return UidSet(uids.data() + start, n); };
    if (F->Has("MOVE")) {
      mailimap_set* s = set();
      const int result = mailimap_uid_move(F->Imap, s, wire.c_str());
      mailimap_set_free(s);
      F->Check(result, what);
      continue;
    }
    // Without MOVE: copy first; only what the copy reached is marked, and
    // only those UIDs are expunged.
    mailimap_set* s = set();
    int result = mailimap_uid_copy(F->Imap, s, wire.c_str());
    mailimap_set_free(s);
    F->Check(result, what);
    mailimap_flag_list* flags = mailimap_flag_list_new_empty();
    mailimap_flag_list_add(flags, mailimap_flag_new_deleted());
    mailimap_store_att_flags* store = mailimap_store_att_flags_new_add_flags_silent(flags);
    s = set();
    result = mailimap_uid_store(F->Imap, s, store);
    mailimap_set_free(s);
    mailimap_store_att_flags_free(store);
    F->Check(result, what);
    if (!F->Has("UIDPLUS")) continue;
    s = set();
    result = mailimap_uid_expunge(F->Imap, s);
    mailimap_set_free(s);
    F->Check(result, what);
  }
}

} // namespace postello

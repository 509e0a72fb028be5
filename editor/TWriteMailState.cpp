#include "editor/TWriteMailState.h"

#include "core/TMailIdStore.h"

#include "editor/DesignHtml.h"
#include "editor/HtmlFileLines.h"
#include "editor/HtmlToPlainText.h"
#include "editor/ImportHtmlLines.h"
#include "editor/MemoText.h"
#include "editor/PreviewHtml.h"
#include "editor/RtfFile.h"
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include "core/SafeFile.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace postello {
namespace {

// The same document may be cut into runs differently (an empty run, two
// neighbours of one format); compared for "unchanged" it must not matter.
TDesignDocument Normalized(TDesignDocument doc) {
  for (TParagraph& p : doc.Paragraphs) {
    std::vector<TTextRun> runs;
    for (TTextRun& r : p.Runs) {
      if (r.Text.empty()) continue;
      if (!runs.empty() && runs.back().Format == r.Format) {
        runs.back().Text += r.Text;
      } else {
        runs.push_back(std::move(r));
      }
    }
    p.Runs = std::move(runs);
  }
  doc.BackColor = 0;
  return doc;
}

std::string MailName(const TMailRecFields& mail) {
  return mail.Subject.empty() ? std::string("(ohne Betreff)") : "\"" + mail.Subject + "\"";
}

} // namespace

TMailPages TWriteMailState::PagesFor(int mailType, bool autoText) {
  switch (mailType) {
  case 0: return {true, false, !autoText, true};
  case 1: return {false, true, !autoText, true};
  default: return {false, false, true, false};
  }
}

TMailPage TWriteMailState::StartPage(int mailType) {
  switch (mailType) {
  case 0: return mpDesign;
  case 1: return mpHtml;
  default: return mpText;
  }
}

void TWriteMailState::ShowAll() {
  ApplyMailType();
  m_view.ShowNewsDesign(NewsDesign);
  m_view.ShowAttachments(Attachments);
  m_view.ShowFields(Fields);
}

void TWriteMailState::NewMail(const std::vector<std::string>& fieldNames) {
  {
    const TGuard loading(LoadingGuard);
    m_view.SetSubject("");
    m_view.SetUnsubscribe("");
    m_view.SetMergeSubject(false);
    m_view.SetBccToLine(true);
    m_view.SetHtmlSource({});
    m_view.SetPlainText({});
  }
  DesignColor = 0xFFFFFF;
  TDesignDocument empty;
  empty.BackColor = DesignColor;
  m_view.SetDocument(empty);
  m_loadedRtf.clear();
  m_loadedDocument = {};
  m_hasLoadedRtf = false;
  Attachments.clear();
  MailType = 0;
  AutoText = true;
  Fields = fieldNames;
  ShowAll();
  DocumentChanged();
  m_unchanged = UserContent();
}

void TWriteMailState::Load(const TMailRecFields& mail, const std::vector<std::string>& fieldNames) {
  {
    // The stored plain text is what the window shows, not one derived
    // from the HTML loaded beside it.
    const TGuard loading(LoadingGuard);
    m_view.SetSubject(mail.Subject);
    m_view.SetUnsubscribe(mail.Unsubscribe);
    m_view.SetMergeSubject(mail.MergeSubject);
    m_view.SetBccToLine(mail.BccToLine);
    m_view.SetHtmlSource(SplitMemoLines(mail.HtmlText));
    m_view.SetPlainText(SplitMemoLines(mail.PlainText));
    m_view.SetGeneratedHtml(SplitMemoLines(mail.DesignHtml));
  }
  DesignColor = mail.DesignColor;
  TDesignDocument doc;
  std::string readError;
  if (!mail.DesignRtf.empty()) {
    TRtfReadResult read = ReadRtf(mail.DesignRtf);
    doc.Paragraphs = std::move(read.Document.Paragraphs);
    readError = std::move(read.Error);
  }
  doc.BackColor = DesignColor;
  m_view.SetDocument(doc);
  m_loadedRtf = mail.DesignRtf;
  m_hasLoadedRtf = !mail.DesignRtf.empty();
  m_loadedDocument = Normalized(m_view.Document());

  MailType = mail.MailType;
  AutoText = mail.AutoText;
  Attachments.clear();
  for (const TAttachRec& a : mail.Attachments) Attachments.push_back(a);
  Fields = fieldNames;
  NewsDesign = mail.NewsDesign;
  Design = TNewsDesign::FromMailRec(mail);
  ShowAll();
  DocumentChanged();
  m_unchanged = UserContent();

  if (!readError.empty()) {
    ShowError("Die Gestaltung der Mail " + MailName(mail) +
              " konnte nicht vollst\xE4ndig gelesen werden: " + readError +
              "\r\nGezeigt wird der lesbare Teil. Die gespeicherte Gestaltung bleibt erhalten, "
              "solange Sie sie nicht \xE4ndern.");
  }
}

void TWriteMailState::FormShow() {
  m_view.FocusSubject();
  m_view.SelectPages(StartPage(MailType), dpEdit, hpEdit);
  ApplyMailType();
}

TWriteMailState::TUserContent TWriteMailState::UserContent() const {
  TUserContent c;
  c.Subject = m_view.Subject();
  c.Unsubscribe = m_view.Unsubscribe();
  c.MergeSubject = m_view.MergeSubject();
  c.BccToLine = m_view.BccToLine();
  c.Document = Normalized(m_view.Document());
  c.HtmlSource = m_view.HtmlSource();
  if (!AutoText || MailType > 1) c.PlainText = m_view.PlainText();
  c.MailType = MailType;
  c.AutoText = AutoText;
  c.NewsDesign = NewsDesign;
  c.Design = Design;
  c.DesignColor = DesignColor;
  for (const TAttachRec& a : Attachments) c.Attachments.emplace_back(a.FileName, a.ContentId);
  return c;
}

bool TWriteMailState::Changed() const { return !(UserContent() == m_unchanged); }

void TWriteMailState::Saved() { m_unchanged = UserContent(); }

TMsgResult TWriteMailState::CloseQuery() {
  if (!Changed()) return TMsgResult::No;
  const TMsgResult answer = Messages().Show("M\xF6" "chten Sie die ge\xE4nderte Nachricht speichern?", "Speichern",
                                            TMsgButtons::YesNoCancel, TMsgIcon::Question);
  if (answer == TMsgResult::Yes && m_view.TimerActive()) TimerFired();
  return answer;
}

TDesignDocument TWriteMailState::CurrentDocument() const {
  TDesignDocument doc = m_view.Document();
  doc.BackColor = DesignColor;
  return doc;
}

void TWriteMailState::Commit(TMailRecFields& mail, double now) {
  const TDesignDocument doc = CurrentDocument();
  mail.Subject = m_view.Subject();
  mail.Unsubscribe = m_view.Unsubscribe();
  mail.MergeSubject = m_view.MergeSubject();
  mail.BccToLine = m_view.BccToLine();
  if (m_hasLoadedRtf && Normalized(doc) == m_loadedDocument) {
    mail.DesignRtf = m_loadedRtf;
  } else {
    mail.DesignRtf = doc.Paragraphs.empty() ? std::string() : WriteRtf(doc);
  }
  mail.DesignColor = DesignColor;
  mail.DesignHtml = JoinMemoLines(m_view.GeneratedHtml());
  mail.HtmlText = JoinMemoLines(m_view.HtmlSource());
  mail.PlainText = JoinMemoLines(m_view.PlainText());
  mail.MailType = MailType;
  mail.AutoText = AutoText;
  mail.NewsDesign = NewsDesign;
  Design.ToMailRec(mail);
  TMailIdStore::Restamp(mail, now);
  mail.Attachments = TDynaArray<TAttachRec>(&mail.CurAttach);
  for (const TAttachRec& a : Attachments) *mail.Attachments.Add() = a;
}

void TWriteMailState::DocumentChanged() {
  m_view.StopTimer();
  m_view.StartTimer();
}

void TWriteMailState::TimerFired() {
  RTFToHTML();
  m_view.StopTimer();
}

void TWriteMailState::BackColorChosen(std::uint32_t color) {
  DesignColor = color;
  m_view.SetDocumentBackColor(color);
  RTFToHTML();
}

void TWriteMailState::DesignDialogClosed() { RTFToHTML(); }

void TWriteMailState::DesignSubPageChanged(TDesignSubPage) {
  // The preview of the "Vorschau" sub-page follows with the editor commands.
  RTFToHTML();
}

void TWriteMailState::MainPageChanged() { HTMLToText(); }

void TWriteMailState::HtmlChanged() {
  if (!LoadingGuard) HTMLToText();
}

void TWriteMailState::MailTypClick(int mailType) {
  MailType = static_cast<std::uint8_t>(mailType);
  ApplyMailType();
  HTMLToText();
}

void TWriteMailState::AutoCreateClick(bool on) {
  AutoText = on;
  HTMLToText();
  ApplyMailType();
}

void TWriteMailState::NewsDesignClick(bool newsDesign) {
  // The next rebuild picks the choice up; choosing starts none.
  NewsDesign = newsDesign;
}

void TWriteMailState::SpeedButton1Click() { HTMLToText(); }

TInsertTarget TWriteMailState::InsertTarget(TMailPage main, TDesignSubPage design, THtmlSubPage html) {
  switch (main) {
  case mpDesign: return design == dpEdit ? itDocument : itNone;
  case mpHtml: return html == hpEdit ? itHtmlSource : itNone;
  case mpText: return itPlainText;
  }
  return itNone;
}

TInsertTarget TWriteMailState::PictureTarget(TMailPage main, TDesignSubPage design, THtmlSubPage html) {
  const TInsertTarget target = InsertTarget(main, design, html);
  return target == itPlainText ? itNone : target;
}

std::string TWriteMailState::Placeholder(const std::string& fieldName) { return "[%" + fieldName + "]"; }

std::string TWriteMailState::PictureTag(const std::string& contentId) {
  return "<img src=\"cid:" + contentId + "\" border=0>";
}

void TWriteMailState::AttachBtnClick(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    Attachments.push_back({path, ""});
    m_view.ShowAttachments(Attachments);
    if (Messages().Show("Soll die Datei eingebettet werden? Z.B. als ein Bild?", "Einbetten?", TMsgButtons::YesNo,
                        TMsgIcon::Question) == TMsgResult::Yes) {
      Attachments.back().ContentId = EmbeddedContentId(path);
      m_view.ShowAttachments(Attachments);
    }
  }
}

void TWriteMailState::DelAttachBtnClick(const std::vector<std::size_t>& selected) {
  std::vector<std::size_t> rows = selected;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (*it < Attachments.size()) Attachments.erase(Attachments.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  m_view.ShowAttachments(Attachments);
}

void TWriteMailState::DelAllAttachBtnClick() {
  Attachments.clear();
  m_view.ShowAttachments(Attachments);
}

std::string TWriteMailState::PicBtnClick(const std::string& path) {
  const std::string cid = EmbeddedContentId(path);
  Attachments.push_back({path, cid});
  m_view.ShowAttachments(Attachments);
  return PictureTag(cid);
}

bool TWriteMailState::ImportBtnClick(const std::string& path) {
  TDesignDocument doc;
  try {
    doc = ReadRtfFile(path);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  // The background is the mail's, not the file's.
  doc.BackColor = DesignColor;
  m_view.SetDocument(doc);
  return true;
}

bool TWriteMailState::HTMLImportClick(const std::string& path, const std::function<void(int)>& progress) {
  THtmlImport imported;
  try {
    const THtmlFileLines read = ReadHtmlFile(path);
    // Rows must name their files from anywhere, so the folder is absolute.
    std::string folder = std::filesystem::absolute(path).parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    imported = ImportHtmlLines(read.Lines, folder, FileExistsOnDisk, progress);
  } catch (const std::exception& e) {
    if (progress) progress(0);
    ShowError(e.what());
    return false;
  }
  {
    const TGuard loading(LoadingGuard);
    m_view.SetHtmlSource(imported.Lines);
    if (progress) progress(0);
  }
  Attachments.insert(Attachments.end(), imported.Rows.begin(), imported.Rows.end());
  m_view.ShowAttachments(Attachments);
  HTMLToText();
  return true;
}

void TWriteMailState::EditBtnClick() {
  m_view.SetHtmlSource(m_view.GeneratedHtml());
  MailTypClick(1);
}

std::string TWriteMailState::WritePreview(const std::vector<std::string>& html, const std::string& progDir) {
  const std::string path = PreviewFilePath(progDir);
  try {
    WritePreviewFile(path, PreviewHtmlLines(html, Attachments));
  } catch (const std::exception& e) {
    ShowError(e.what());
    return {};
  }
  return path;
}

void TWriteMailState::RTFToHTML() {
  if (MailType != 0) return;
  std::vector<std::string> html;
  {
    const TGuard converting(ConversionGuard);
    html = BuildDesignHtml(CurrentDocument(), DesignColor, NewsDesign, Design);
  }
  {
    // Derived once below, not again by the memo's change notification.
    const TGuard loading(LoadingGuard);
    m_view.SetGeneratedHtml(html);
  }
  HTMLToText();
}

void TWriteMailState::HTMLToText() {
  if (!AutoText || MailType > 1) return;
  m_view.SetPlainText(HtmlToPlainText(MailType == 0 ? m_view.GeneratedHtml() : m_view.HtmlSource()));
}

void TWriteMailState::ApplyMailType() {
  m_view.ShowMailType(MailType, AutoText, PagesFor(MailType, AutoText));
}

} // namespace postello

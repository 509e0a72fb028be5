// The editor window's state against a window made of plain fields: what
// each event rebuilds, the guards, the close question and the transfer to
// and from a stored mail.
#include "editor/DesignHtml.h"
#include "editor/HtmlToPlainText.h"
#include "editor/MemoText.h"
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"
#include "editor/TWriteMailState.h"
#include "support/ScriptedSink.h"

#include <gtest/gtest.h>

#include <functional>

using namespace postello;
using postello::test::ScriptedSink;

namespace {

// Behaves as the Qt window does: setting either HTML memo reports a change
// of the HTML, as the memo's change notification would.
struct TFakeView : TWriteMailView {
  TWriteMailState* state = nullptr;
  std::string subject;
  std::string unsubscribe;
  bool mergeSubject = false;
  bool bccToLine = true;
  TDesignDocument document;
  std::uint32_t shownBackColor = 0;
  std::vector<std::string> generated, source, plain;
  int mailType = -1;
  bool autoText = false;
  TMailPages pages;
  bool newsDesign = false;
  std::vector<TAttachRec> attachments;
  std::vector<std::string> fields;
  TMailPage mainPage = mpText;
  TDesignSubPage designPage = dpPreview;
  THtmlSubPage htmlPage = hpPreview;
  bool subjectFocused = false;
  bool timer = false;
  int timerStarts = 0;
  int generatedSets = 0;
  int plainSets = 0;

  std::string Subject() const override { return subject; }
  void SetSubject(const std::string& s) override { subject = s; }
  std::string Unsubscribe() const override { return unsubscribe; }
  void SetUnsubscribe(const std::string& t) override { unsubscribe = t; }
  bool MergeSubject() const override { return mergeSubject; }
  void SetMergeSubject(bool on) override { mergeSubject = on; }
  bool BccToLine() const override { return bccToLine; }
  void SetBccToLine(bool on) override { bccToLine = on; }
  TDesignDocument Document() const override { return document; }
  void SetDocument(const TDesignDocument& doc) override {
    document = doc;
    shownBackColor = doc.BackColor;
  }
  void SetDocumentBackColor(std::uint32_t color) override { shownBackColor = color; }
  std::vector<std::string> GeneratedHtml() const override { return generated; }
  void SetGeneratedHtml(const std::vector<std::string>& lines) override {
    generated = lines;
    ++generatedSets;
    if (state) state->HtmlChanged();
  }
  std::vector<std::string> HtmlSource() const override { return source; }
  void SetHtmlSource(const std::vector<std::string>& lines) override {
    source = lines;
    if (state) state->HtmlChanged();
  }
  std::vector<std::string> PlainText() const override { return plain; }
  void SetPlainText(const std::vector<std::string>& lines) override {
    plain = lines;
    ++plainSets;
  }
  void ShowMailType(int type, bool autoOn, const TMailPages& p) override {
    mailType = type;
    autoText = autoOn;
    pages = p;
  }
  void ShowNewsDesign(bool on) override { newsDesign = on; }
  void ShowAttachments(const std::vector<TAttachRec>& rows) override { attachments = rows; }
  void ShowFields(const std::vector<std::string>& names) override { fields = names; }
  void SelectPages(TMailPage m, TDesignSubPage d, THtmlSubPage h) override {
    mainPage = m;
    designPage = d;
    htmlPage = h;
  }
  void FocusSubject() override { subjectFocused = true; }
  void StartTimer() override {
    timer = true;
    ++timerStarts;
  }
  void StopTimer() override { timer = false; }
  bool TimerActive() const override { return timer; }
};

TCharFormat Format(const char* face, int size, std::uint32_t color, bool bold = false) {
  TCharFormat f;
  f.Face = face;
  f.Size = size;
  f.Color = color;
  f.Bold = bold;
  return f;
}

TParagraph Para(std::vector<TTextRun> runs, TParaAlign align = paLeft, bool bullet = false) {
  TParagraph p;
  p.Align = align;
  p.Bullet = bullet;
  p.Runs = std::move(runs);
  return p;
}

TDesignDocument SampleDocument() {
  TDesignDocument d;
  d.Paragraphs.push_back(Para({{Format("Arial", 10, 0), "Hallo "}, {Format("Arial", 10, 0, true), "[%Name]"}}));
  d.Paragraphs.push_back(Para({{Format("Times New Roman", 14, 0x0000FF), "Mitte"}}, paCenter));
  d.Paragraphs.push_back(Para({}));
  d.Paragraphs.push_back(Para({{Format("Arial", 10, 0), "Punkt \xFC"}}, paLeft, true));
  return d;
}

TMailRec StoredMail() {
  TMailRec m;
  m.Subject = "Gr\xFC\xDF" "e";
  m.DesignRtf = WriteRtf(SampleDocument());
  m.DesignColor = 0xC0FFEE;
  m.DesignHtml = "<html>alt\r\n</html>";
  m.HtmlText = "<p>Quelle</p>\r\n<br>";
  m.PlainText = "Gespeicherter Text\r\nZeile 2";
  m.MailType = 0;
  m.AutoText = true;
  m.NewsDesign = false;
  TNewsDesign design;
  design.HeadText = "Kopf";
  design.Width = 600;
  design.ToMailRec(m);
  m.Attachments.Add()->FileName = "/tmp/bild.gif";
  m.CurAttach->ContentId = "BILD.GIF";
  m.Attachments.Add()->FileName = "/tmp/preise.pdf";
  m.Date = 40000.5;
  return m;
}

class TWriteMailStateTest : public ::testing::Test {
protected:
  void SetUp() override {
    view.state = &state;
    SetMessageSink(&sink);
  }
  void TearDown() override { SetMessageSink(nullptr); }

  std::vector<std::string> ExpectedHtml(const TDesignDocument& doc) {
    TDesignDocument d = doc;
    d.BackColor = state.DesignColor;
    return BuildDesignHtml(d, state.DesignColor, state.NewsDesign, state.Design);
  }

  TFakeView view;
  TWriteMailState state{view};
  ScriptedSink sink;
};

struct TPagesCase {
  int type;
  bool autoText;
  TMailPages pages;
  TMailPage start;
};

TEST(TWriteMailPagesTest, MailTypesShowTheirPages) {
  const TPagesCase cases[] = {
      {0, true, {true, false, false, true}, mpDesign},  {0, false, {true, false, true, true}, mpDesign},
      {1, true, {false, true, false, true}, mpHtml},    {1, false, {false, true, true, true}, mpHtml},
      {2, true, {false, false, true, false}, mpText},   {2, false, {false, false, true, false}, mpText},
  };
  for (const TPagesCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " auto " << c.autoText);
    EXPECT_EQ(TWriteMailState::PagesFor(c.type, c.autoText), c.pages);
    EXPECT_EQ(TWriteMailState::StartPage(c.type), c.start);
  }
}

TEST_F(TWriteMailStateTest, NewMailResetsAllButTheDesign) {
  state.Load(StoredMail(), {"ALT"});
  state.MailTypClick(2);
  state.AutoCreateClick(false);
  state.NewsDesignClick(true);
  state.Design.HeadText = "Ge\xE4ndert";
  state.BackColorChosen(0x123456);
  view.timer = false;

  state.NewMail({"EMAIL", "NAME"});
  EXPECT_EQ(view.subject, "");
  EXPECT_TRUE(view.document.Paragraphs.empty());
  EXPECT_EQ(state.DesignColor, 0xFFFFFFu);
  EXPECT_EQ(view.shownBackColor, 0xFFFFFFu);
  EXPECT_TRUE(view.source.empty());
  EXPECT_TRUE(view.plain.empty());
  EXPECT_TRUE(view.attachments.empty());
  EXPECT_EQ(view.mailType, 0);
  EXPECT_TRUE(view.autoText);
  EXPECT_TRUE(view.pages.AutoTextEnabled);
  EXPECT_EQ(view.fields, (std::vector<std::string>{"EMAIL", "NAME"}));
  EXPECT_TRUE(view.timer) << "the empty document is converted one second after opening";
  // The design choice and settings stay as the last mail left them.
  EXPECT_TRUE(state.NewsDesign);
  EXPECT_TRUE(view.newsDesign);
  EXPECT_EQ(state.Design.HeadText, "Ge\xE4ndert");
  EXPECT_EQ(state.Design.Width, 600);
}

TEST_F(TWriteMailStateTest, LoadShowsTheStoredTextsWithoutDerivingAny) {
  const TMailRec m = StoredMail();
  state.Load(m, {"EMAIL"});
  EXPECT_EQ(view.subject, m.Subject);
  EXPECT_EQ(view.generated, (std::vector<std::string>{"<html>alt", "</html>"}));
  EXPECT_EQ(view.source, (std::vector<std::string>{"<p>Quelle</p>", "<br>"}));
  EXPECT_EQ(view.plain, (std::vector<std::string>{"Gespeicherter Text", "Zeile 2"}));
  EXPECT_EQ(view.plainSets, 1);
  EXPECT_EQ(view.document.Paragraphs, ReadRtf(m.DesignRtf).Document.Paragraphs);
  EXPECT_EQ(view.shownBackColor, 0xC0FFEEu);
  EXPECT_EQ(view.mailType, 0);
  EXPECT_TRUE(view.autoText);
  EXPECT_FALSE(view.newsDesign);
  EXPECT_EQ(state.Design, TNewsDesign::FromMailRec(m));
  ASSERT_EQ(view.attachments.size(), 2u);
  EXPECT_EQ(view.attachments[0].FileName, "/tmp/bild.gif");
  EXPECT_EQ(view.attachments[0].ContentId, "BILD.GIF");
  EXPECT_EQ(view.attachments[1].ContentId, "");
  EXPECT_EQ(view.fields, std::vector<std::string>{"EMAIL"});
  EXPECT_TRUE(view.timer);
  EXPECT_FALSE(state.LoadingGuard);
  EXPECT_TRUE(sink.texts.empty());
}

TEST_F(TWriteMailStateTest, TimerRebuildsTheDesignHtmlOfTypeZeroOnly) {
  state.Load(StoredMail(), {});
  state.TimerFired();
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.generated, ExpectedHtml(SampleDocument()));
  EXPECT_EQ(view.generated.front(), "<html><body bgcolor=#EEFFC0>") << "red is the low byte";

  TMailRec html = StoredMail();
  html.MailType = 1;
  state.Load(html, {});
  const int before = view.generatedSets;
  state.TimerFired();
  EXPECT_EQ(view.generatedSets, before);
  EXPECT_EQ(view.generated, (std::vector<std::string>{"<html>alt", "</html>"}));
  EXPECT_FALSE(view.timer);
}

TEST_F(TWriteMailStateTest, EveryDocumentChangeRestartsTheTimer) {
  state.NewMail({});
  view.timer = false;
  const int starts = view.timerStarts;
  state.DocumentChanged();
  state.DocumentChanged();
  EXPECT_TRUE(view.timer);
  EXPECT_EQ(view.timerStarts, starts + 2);
  EXPECT_EQ(view.generatedSets, 0) << "a change alone converts nothing";
}

TEST_F(TWriteMailStateTest, RebuildsOnSubPageBackgroundAndDesignDialog) {
  state.NewMail({});
  state.NewsDesignClick(false);
  view.document = SampleDocument();
  int sets = view.generatedSets;

  state.DesignSubPageChanged(dpSource);
  EXPECT_EQ(view.generatedSets, ++sets);
  EXPECT_EQ(view.generated, ExpectedHtml(SampleDocument()));

  state.BackColorChosen(0x00FF00);
  EXPECT_EQ(view.generatedSets, ++sets);
  EXPECT_EQ(view.shownBackColor, 0x00FF00u);
  EXPECT_EQ(view.generated.front(), "<html><body bgcolor=#00FF00>");

  // Choosing the frame alone rebuilds nothing; the next rebuild takes it.
  state.NewsDesignClick(true);
  EXPECT_EQ(view.generatedSets, sets);
  state.DesignDialogClosed();
  EXPECT_EQ(view.generatedSets, ++sets);
  EXPECT_EQ(view.generated, ExpectedHtml(SampleDocument()));
  EXPECT_GT(view.generated.size(), SampleDocument().Paragraphs.size() + 2) << "frame lines expected";
}

TEST_F(TWriteMailStateTest, TypeTwoDisablesAutoTextAndShowsOnlyText) {
  state.NewMail({});
  state.MailTypClick(2);
  EXPECT_EQ(view.mailType, 2);
  EXPECT_EQ(view.pages, (TMailPages{false, false, true, false}));
  state.MailTypClick(0);
  EXPECT_EQ(view.pages, (TMailPages{true, false, false, true}));
  state.AutoCreateClick(false);
  EXPECT_EQ(view.pages, (TMailPages{true, false, true, true}));
  EXPECT_FALSE(view.autoText);
  state.MailTypClick(1);
  EXPECT_EQ(view.pages, (TMailPages{false, true, true, true}));
}

TEST_F(TWriteMailStateTest, FormShowSelectsTheStartPagesAndFocusesTheSubject) {
  TMailRec m = StoredMail();
  m.MailType = 1;
  state.Load(m, {});
  state.FormShow();
  EXPECT_TRUE(view.subjectFocused);
  EXPECT_EQ(view.mainPage, mpHtml);
  EXPECT_EQ(view.designPage, dpEdit);
  EXPECT_EQ(view.htmlPage, hpEdit);
  EXPECT_EQ(view.pages, (TMailPages{false, true, false, true}));
}

// Only a change the user made asks; what the window derives by itself
// (the rebuilt HTML, the automatic plain text) and a change undone do not.
TEST_F(TWriteMailStateTest, CloseQuestionOnlyAfterARealChange) {
  const struct {
    const char* what;
    int mailType;
    std::function<void(TFakeView&, TWriteMailState&)> change;
    bool asks;
  } cases[] = {
      {"nothing", 0, [](TFakeView&, TWriteMailState&) {}, false},
      {"conversion done", 0, [](TFakeView&, TWriteMailState& s) { s.TimerFired(); }, false},
      {"HTML mail derived", 1, [](TFakeView&, TWriteMailState& s) { s.MainPageChanged(); }, false},
      {"text mail", 2, [](TFakeView&, TWriteMailState& s) { s.MainPageChanged(); }, false},
      {"same type clicked", 0, [](TFakeView&, TWriteMailState& s) { s.MailTypClick(0); }, false},
      {"changed back", 0, [](TFakeView& v, TWriteMailState&) { v.subject += "x"; v.subject.pop_back(); }, false},
      {"subject", 0, [](TFakeView& v, TWriteMailState&) { v.subject += "!"; }, true},
      {"unsubscribe", 0, [](TFakeView& v, TWriteMailState&) { v.unsubscribe = "mailto:a@b.de"; }, true},
      {"merge subject", 0, [](TFakeView& v, TWriteMailState&) { v.mergeSubject = true; }, true},
      {"document", 0, [](TFakeView& v, TWriteMailState&) { v.document.Paragraphs.pop_back(); }, true},
      {"HTML source", 1, [](TFakeView& v, TWriteMailState&) { v.source.push_back("<p>neu</p>"); }, true},
      {"own plain text", 2, [](TFakeView& v, TWriteMailState&) { v.plain.push_back("neu"); }, true},
      {"mail type", 0, [](TFakeView&, TWriteMailState& s) { s.MailTypClick(2); }, true},
      {"auto text", 0, [](TFakeView&, TWriteMailState& s) { s.AutoCreateClick(false); }, true},
      {"news design", 0, [](TFakeView&, TWriteMailState& s) { s.NewsDesignClick(true); }, true},
      {"design settings", 0, [](TFakeView&, TWriteMailState& s) { s.Design.Width = 700; }, true},
      {"background", 0, [](TFakeView&, TWriteMailState& s) { s.BackColorChosen(0x123456); }, true},
      {"attachment", 0, [](TFakeView&, TWriteMailState& s) { s.DelAllAttachBtnClick(); }, true},
  };
  for (const auto& c : cases) {
    TMailRec m = StoredMail();
    m.MailType = static_cast<std::uint8_t>(c.mailType);
    state.Load(m, {});
    state.FormShow();
    c.change(view, state);
    sink.texts.clear();
    sink.answer = TMsgResult::Yes;
    EXPECT_EQ(state.CloseQuery(), c.asks ? TMsgResult::Yes : TMsgResult::No) << c.what;
    EXPECT_EQ(sink.texts.size(), c.asks ? 1u : 0u) << c.what;
  }
  EXPECT_EQ(sink.texts[0], "M\xF6" "chten Sie die ge\xE4nderte Nachricht speichern?");
  EXPECT_EQ(sink.captions.back(), "Speichern");

  // A new mail left empty asks nothing; once saved, only a further change asks.
  state.NewMail({});
  sink.texts.clear();
  EXPECT_EQ(state.CloseQuery(), TMsgResult::No);
  view.subject = "Neu";
  state.Saved();
  EXPECT_EQ(state.CloseQuery(), TMsgResult::No);
  view.subject = "Neu 2";
  for (TMsgResult answer : {TMsgResult::Yes, TMsgResult::No, TMsgResult::Cancel}) {
    sink.answer = answer;
    EXPECT_EQ(state.CloseQuery(), answer);
  }
  EXPECT_EQ(sink.texts.size(), 3u);
}

// The last second of typing must reach the stored HTML.
TEST_F(TWriteMailStateTest, YesCarriesOutThePendingConversion) {
  state.NewMail({});
  state.NewsDesignClick(false);
  state.TimerFired();
  view.document = SampleDocument();
  state.DocumentChanged();
  ASSERT_TRUE(view.timer);

  sink.answer = TMsgResult::No;
  state.CloseQuery();
  EXPECT_TRUE(view.timer) << "No commits nothing, so nothing is converted";
  EXPECT_EQ(view.generated.size(), 2u);

  sink.answer = TMsgResult::Cancel;
  state.CloseQuery();
  EXPECT_TRUE(view.timer);

  sink.answer = TMsgResult::Yes;
  ASSERT_EQ(state.CloseQuery(), TMsgResult::Yes);
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.generated, ExpectedHtml(SampleDocument()));
  TMailRec m;
  state.Commit(m, 45000.25);
  EXPECT_EQ(m.DesignHtml, JoinMemoLines(ExpectedHtml(SampleDocument())));
}

TEST_F(TWriteMailStateTest, CommitTransfersEveryField) {
  state.NewMail({});
  view.subject = "Betreff \xE4";
  view.document = SampleDocument();
  state.BackColorChosen(0x0000FF);
  view.source = {"<p>a</p>", "<p>b</p>"};
  state.MailTypClick(1);
  state.AutoCreateClick(false);
  view.plain = {"a", "", "b"};
  state.NewsDesignClick(false);
  state.Design.FootText = "Fu\xDF";
  state.Design.MinHeight = 77;
  state.Attachments = {{"/a/b.gif", "B.GIF"}, {"/a/c.pdf", ""}};

  TMailRec m;
  m.Attachments.Add()->FileName = "alt";
  state.Commit(m, 45000.25);
  EXPECT_EQ(m.Subject, "Betreff \xE4");
  EXPECT_EQ(ReadRtf(m.DesignRtf).Document.Paragraphs, SampleDocument().Paragraphs);
  EXPECT_EQ(m.DesignColor, 0x0000FFu);
  EXPECT_EQ(m.DesignHtml, JoinMemoLines(view.generated));
  EXPECT_EQ(m.HtmlText, "<p>a</p>\r\n<p>b</p>");
  EXPECT_EQ(m.PlainText, "a\r\n\r\nb");
  EXPECT_EQ(m.MailType, 1);
  EXPECT_FALSE(m.AutoText);
  EXPECT_FALSE(m.NewsDesign);
  EXPECT_EQ(TNewsDesign::FromMailRec(m), state.Design);
  EXPECT_EQ(m.NewsFootText, "Fu\xDF");
  EXPECT_EQ(m.NewsMinHeight, 77);
  EXPECT_EQ(m.Date, 45000.25);
  ASSERT_EQ(m.Attachments.Count(), 2u);
  EXPECT_EQ(m.Attachments[0].FileName, "/a/b.gif");
  EXPECT_EQ(m.Attachments[0].ContentId, "B.GIF");
  EXPECT_EQ(m.Attachments[1].FileName, "/a/c.pdf");
  // The new array mirrors its cursor into the record's own variable.
  EXPECT_EQ(m.Attachments.Select(1), m.CurAttach);
}

// The options below the subject line travel with the mail: shown on
// load, cleared for a new mail, and taken back by the commit.
TEST_F(TWriteMailStateTest, MailOptionsAreLoadedClearedAndCommitted) {
  TMailRec stored = StoredMail();
  stored.Unsubscribe = "mailto:ab@example.org?subject=[%Name], https://example.org/ab?u=[%EMAIL]";
  stored.MergeSubject = true;
  stored.BccToLine = false;
  state.Load(stored, {});
  EXPECT_EQ(view.unsubscribe, stored.Unsubscribe);
  EXPECT_TRUE(view.mergeSubject);
  EXPECT_FALSE(view.bccToLine);
  EXPECT_FALSE(state.Changed());

  TMailRec same;
  state.Commit(same, 1);
  EXPECT_EQ(same.Unsubscribe, stored.Unsubscribe);
  EXPECT_TRUE(same.MergeSubject);
  EXPECT_FALSE(same.BccToLine);

  view.bccToLine = true;
  EXPECT_TRUE(state.Changed());
  view.unsubscribe = "https://example.org/weg";
  view.mergeSubject = false;
  TMailRec changed = stored;
  state.Commit(changed, 1);
  EXPECT_EQ(changed.Unsubscribe, "https://example.org/weg");
  EXPECT_FALSE(changed.MergeSubject);
  EXPECT_TRUE(changed.BccToLine);

  view.unsubscribe = "x";
  view.mergeSubject = true;
  view.bccToLine = false;
  state.NewMail({});
  EXPECT_EQ(view.unsubscribe, "");
  EXPECT_FALSE(view.mergeSubject) << "a new mail keeps its subject literal until asked";
  TMailRec fresh = stored;
  state.Commit(fresh, 1);
  EXPECT_EQ(fresh.Unsubscribe, "");
  EXPECT_FALSE(fresh.MergeSubject);
  EXPECT_TRUE(fresh.BccToLine);
}

TEST_F(TWriteMailStateTest, EmptyDocumentStoresNoRtf) {
  state.NewMail({});
  TMailRec m;
  m.DesignRtf = "alt";
  state.Commit(m, 1);
  EXPECT_EQ(m.DesignRtf, "");
  EXPECT_EQ(m.DesignRtfSize(), 0);
}

TEST_F(TWriteMailStateTest, UnchangedDocumentKeepsItsStoredBytes) {
  TMailRec m = StoredMail();
  // Written by another program: same content, other bytes.
  m.DesignRtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                "\\viewkind4\\uc1\\pard\\f0\\fs20 Hallo\\par\r\n}\r\n";
  const std::string stored = m.DesignRtf;
  state.Load(m, {});
  state.TimerFired();
  TMailRec out;
  state.Commit(out, 1);
  EXPECT_EQ(out.DesignRtf, stored);

  view.document.Paragraphs.front().Runs.front().Text += "!";
  state.Commit(out, 1);
  EXPECT_NE(out.DesignRtf, stored);
  ASSERT_FALSE(ReadRtf(out.DesignRtf).Document.Paragraphs.empty());
  EXPECT_EQ(ReadRtf(out.DesignRtf).Document.Paragraphs.front().Runs.front().Text, "Hallo!");
}

// A stored design the reader cannot fully read opens with what it read and
// a message naming the mail; the stored bytes stay unless the user edits.
TEST_F(TWriteMailStateTest, UnreadableRtfOpensPartlyAndKeepsTheBytes) {
  TMailRec m = StoredMail();
  m.Subject = "Sommerfest";
  const std::string good = WriteRtf(SampleDocument());
  m.DesignRtf = good.substr(0, good.find("Mitte") + 3);
  const TRtfReadResult expected = ReadRtf(m.DesignRtf);
  ASSERT_FALSE(expected.Error.empty()) << "the sample must be one the reader refuses";
  state.Load(m, {});
  EXPECT_EQ(view.document.Paragraphs, expected.Document.Paragraphs);
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("\"Sommerfest\""), std::string::npos) << sink.texts[0];
  EXPECT_NE(sink.texts[0].find(expected.Error), std::string::npos) << sink.texts[0];
  EXPECT_EQ(view.plain, (std::vector<std::string>{"Gespeicherter Text", "Zeile 2"}));

  TMailRec out;
  state.Commit(out, 1);
  EXPECT_EQ(out.DesignRtf, m.DesignRtf);

  view.document.Paragraphs.push_back(Para({{TCharFormat{}, "neu"}}));
  state.Commit(out, 1);
  EXPECT_TRUE(ReadRtf(out.DesignRtf).Error.empty());
  EXPECT_EQ(ReadRtf(out.DesignRtf).Document.Paragraphs, view.document.Paragraphs);
}

TEST_F(TWriteMailStateTest, HtmlChangesHonourTheLoadingGuard) {
  state.NewMail({});
  state.MailTypClick(1);
  const int sets = view.plainSets;
  state.LoadingGuard = true;
  view.SetHtmlSource({"<p>x</p>"});
  EXPECT_EQ(view.plainSets, sets);
  state.LoadingGuard = false;
  view.SetHtmlSource({"<p>y</p>"});
  EXPECT_EQ(view.plainSets, sets + 1);
  EXPECT_EQ(view.plain, HtmlToPlainText(std::vector<std::string>{"<p>y</p>"}));
}

// Which HTML the plain text comes from, and when it does not.
TEST_F(TWriteMailStateTest, PlainTextFollowsTheHtmlOfTheMailType) {
  state.NewMail({});
  state.NewsDesignClick(false);
  view.document = SampleDocument();
  view.source = {"<p>Quelle</p>", "Zeile"};
  state.TimerFired();
  EXPECT_EQ(view.plain, HtmlToPlainText(ExpectedHtml(SampleDocument())));
  EXPECT_NE(view.plain, HtmlToPlainText(view.source));

  state.MailTypClick(1);
  EXPECT_EQ(view.plain, HtmlToPlainText(std::vector<std::string>{"<p>Quelle</p>", "Zeile"}));

  view.plain = {"von Hand"};
  state.MailTypClick(2);
  state.MainPageChanged();
  state.HtmlChanged();
  EXPECT_EQ(view.plain, std::vector<std::string>{"von Hand"}) << "a text mail keeps its text";

  state.MailTypClick(1);
  state.AutoCreateClick(false);
  view.plain = {"von Hand"};
  state.MainPageChanged();
  state.HtmlChanged();
  EXPECT_EQ(view.plain, std::vector<std::string>{"von Hand"}) << "auto text off keeps the text";

  state.AutoCreateClick(true);
  EXPECT_EQ(view.plain, HtmlToPlainText(view.source));
  view.plain = {"von Hand"};
  state.MainPageChanged();
  EXPECT_EQ(view.plain, HtmlToPlainText(view.source));
  view.plain = {"von Hand"};
  state.SpeedButton1Click();
  EXPECT_EQ(view.plain, HtmlToPlainText(view.source));
}

// One rebuild derives the text once, not again through the memo's change.
TEST_F(TWriteMailStateTest, RebuildDerivesThePlainTextOnce) {
  state.NewMail({});
  view.document = SampleDocument();
  const int sets = view.plainSets;
  state.TimerFired();
  EXPECT_EQ(view.plainSets, sets + 1);
}

TEST(TWriteMailGuardTest, GuardRestoresThePreviousValue) {
  bool flag = false;
  {
    const TWriteMailState::TGuard outer(flag);
    EXPECT_TRUE(flag);
    {
      const TWriteMailState::TGuard inner(flag);
      EXPECT_TRUE(flag);
    }
    EXPECT_TRUE(flag) << "an inner guard must not clear the outer one";
  }
  EXPECT_FALSE(flag);
}

} // namespace

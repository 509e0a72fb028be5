// The editing commands of the mail editor without a window: where text is
// inserted, the attachment rows and their question, the RTF and HTML
// imports, the preview file and the toolbar's size rules.
#include "editor/EditorToolbar.h"
#include "editor/HtmlToPlainText.h"
#include "editor/RtfWriter.h"
#include "editor/TWriteMailState.h"
#include "../mime/MimeTestSupport.h"

#include <gtest/gtest.h>

#include <deque>

using namespace postello;
using postello::mimetest::TTempDir;
using postello::mimetest::WriteFile;

namespace {

using Lines = std::vector<std::string>;

// Answers each question with the next scripted button and records it.
struct TQueueSink : TMessageSink {
  std::deque<TMsgResult> answers;
  std::vector<std::string> texts, captions;
  std::vector<TMsgButtons> buttons;
  TMsgResult Show(const std::string& t, const std::string& c, TMsgButtons b, TMsgIcon) override {
    texts.push_back(t);
    captions.push_back(c);
    buttons.push_back(b);
    if (b == TMsgButtons::Ok) return TMsgResult::Ok;
    if (answers.empty()) return TMsgResult::Cancel;
    const TMsgResult a = answers.front();
    answers.pop_front();
    return a;
  }
};

struct TView : TWriteMailView {
  TWriteMailState* state = nullptr;
  TDesignDocument document;
  Lines generated, source, plain;
  std::vector<TAttachRec> rows;
  int mailType = -1;
  int rowShows = 0;

  std::string Subject() const override { return {}; }
  void SetSubject(const std::string&) override {}
  std::string Unsubscribe() const override { return {}; }
  void SetUnsubscribe(const std::string&) override {}
  bool MergeSubject() const override { return false; }
  void SetMergeSubject(bool) override {}
  bool BccToLine() const override { return true; }
  void SetBccToLine(bool) override {}
  TDesignDocument Document() const override { return document; }
  void SetDocument(const TDesignDocument& doc) override { document = doc; }
  void SetDocumentBackColor(std::uint32_t) override {}
  Lines GeneratedHtml() const override { return generated; }
  void SetGeneratedHtml(const Lines& l) override {
    generated = l;
    if (state) state->HtmlChanged();
  }
  Lines HtmlSource() const override { return source; }
  void SetHtmlSource(const Lines& l) override {
    source = l;
    if (state) state->HtmlChanged();
  }
  Lines PlainText() const override { return plain; }
  void SetPlainText(const Lines& l) override { plain = l; }
  void ShowMailType(int type, bool, const TMailPages&) override { mailType = type; }
  void ShowNewsDesign(bool) override {}
  void ShowAttachments(const std::vector<TAttachRec>& r) override {
    rows = r;
    ++rowShows;
  }
  void ShowFields(const Lines&) override {}
  void SelectPages(TMailPage, TDesignSubPage, THtmlSubPage) override {}
  void FocusSubject() override {}
  void StartTimer() override {}
  void StopTimer() override {}
  bool TimerActive() const override { return false; }
};

using Rows = std::vector<std::pair<std::string, std::string>>;
Rows RowsOf(const std::vector<TAttachRec>& rows) {
  Rows out;
  for (const TAttachRec& a : rows) out.emplace_back(a.FileName, a.ContentId);
  return out;
}

class EditorCommandsTest : public ::testing::Test {
protected:
  void SetUp() override {
    view.state = &state;
    SetMessageSink(&sink);
    state.NewMail({"Name"});
  }
  void TearDown() override { SetMessageSink(nullptr); }

  TView view;
  TWriteMailState state{view};
  TQueueSink sink;
  TTempDir dir;
};

} // namespace

TEST(EditorCommandsTargets, OnlyTheVisibleEditPageReceives) {
  struct Case {
    TMailPage main;
    TDesignSubPage design;
    THtmlSubPage html;
    TInsertTarget target;
  };
  const Case cases[] = {
      {mpDesign, dpEdit, hpPreview, itDocument},  {mpDesign, dpSource, hpEdit, itNone},
      {mpDesign, dpPreview, hpEdit, itNone},      {mpHtml, dpEdit, hpEdit, itHtmlSource},
      {mpHtml, dpEdit, hpPreview, itNone},        {mpText, dpPreview, hpPreview, itPlainText},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TWriteMailState::InsertTarget(c.main, c.design, c.html), c.target)
        << c.main << " " << c.design << " " << c.html;
    // A picture tag never goes into the plain text.
    EXPECT_EQ(TWriteMailState::PictureTarget(c.main, c.design, c.html), c.target == itPlainText ? itNone : c.target)
        << c.main << " " << c.design << " " << c.html;
  }
  EXPECT_EQ(TWriteMailState::Placeholder("Name"), "[%Name]");
  EXPECT_EQ(TWriteMailState::PictureTag("LOGO.GIF"), "<img src=\"cid:LOGO.GIF\" border=0>");
}

TEST_F(EditorCommandsTest, ThreeFilesAnsweredYesNoYes) {
  sink.answers = {TMsgResult::Yes, TMsgResult::No, TMsgResult::Yes};
  state.AttachBtnClick({"/tmp/a/Logo.gif", "/tmp/b/preise.pdf", "/tmp/c/B\xC3\xA4r.png"});
  EXPECT_EQ(RowsOf(state.Attachments),
            (Rows{{"/tmp/a/Logo.gif", "LOGO.GIF"}, {"/tmp/b/preise.pdf", ""}, {"/tmp/c/B\xC3\xA4r.png", "B\xE4R.PNG"}}));
  EXPECT_EQ(RowsOf(view.rows), RowsOf(state.Attachments));
  ASSERT_EQ(sink.texts.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sink.texts[i], "Soll die Datei eingebettet werden? Z.B. als ein Bild?");
    EXPECT_EQ(sink.captions[i], "Einbetten?");
    EXPECT_EQ(sink.buttons[i], TMsgButtons::YesNo);
  }
}

TEST_F(EditorCommandsTest, RowIsShownBeforeItsQuestion) {
  struct TCheckingSink : TMessageSink {
    TView* view = nullptr;
    std::size_t rowsSeen = 0;
    TMsgResult Show(const std::string&, const std::string&, TMsgButtons, TMsgIcon) override {
      rowsSeen = view->rows.size();
      return TMsgResult::No;
    }
  } checking;
  checking.view = &view;
  SetMessageSink(&checking);
  state.AttachBtnClick({"/x/eins.txt"});
  EXPECT_EQ(checking.rowsSeen, 1u);
}

TEST_F(EditorCommandsTest, DeletesSelectedRowsFromTheLast) {
  for (const char* p : {"/a", "/b", "/c", "/d", "/e"}) state.Attachments.push_back({p, ""});
  state.DelAttachBtnClick({3, 0, 3, 99, 1});
  EXPECT_EQ(RowsOf(view.rows), (Rows{{"/c", ""}, {"/e", ""}}));
  state.DelAttachBtnClick({});
  EXPECT_EQ(state.Attachments.size(), 2u);
  state.DelAllAttachBtnClick();
  EXPECT_TRUE(state.Attachments.empty());
  EXPECT_TRUE(view.rows.empty());
}

TEST_F(EditorCommandsTest, PictureAddsAnEmbeddedRowAndGivesItsTag) {
  state.Attachments.push_back({"/vorher.pdf", ""});
  EXPECT_EQ(state.PicBtnClick("/bilder/Foto 1.jpeg"), "<img src=\"cid:FOTO 1.JPEG\" border=0>");
  EXPECT_EQ(RowsOf(view.rows), (Rows{{"/vorher.pdf", ""}, {"/bilder/Foto 1.jpeg", "FOTO 1.JPEG"}}));
}

TEST_F(EditorCommandsTest, RtfImportReplacesTheDocumentAndKeepsTheBackground) {
  TDesignDocument doc;
  doc.Paragraphs.resize(1);
  TCharFormat bold;
  bold.Bold = true;
  doc.Paragraphs[0].Runs = {{TCharFormat{}, "Hallo "}, {bold, "Welt"}};
  doc.BackColor = 0x00FF00;
  WriteFile(dir.Path("brief.rtf"), WriteRtf(doc));
  state.BackColorChosen(0x123456);
  ASSERT_TRUE(state.ImportBtnClick(dir.Path("brief.rtf")));
  EXPECT_EQ(view.document.Paragraphs, doc.Paragraphs);
  EXPECT_EQ(view.document.BackColor, 0x123456u);
  EXPECT_TRUE(sink.texts.empty());
}

TEST_F(EditorCommandsTest, RtfImportFailuresLeaveTheDocument) {
  TDesignDocument before;
  before.Paragraphs.resize(1);
  before.Paragraphs[0].Runs = {{TCharFormat{}, "bleibt"}};
  view.document = before;
  WriteFile(dir.Path("kaputt.rtf"), "{\\rtf1 halb {\\b fett");
  WriteFile(dir.Path("kein.rtf"), "Hallo");
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {{dir.Path("kaputt.rtf"), "unvollst\xE4ndig"},
               {dir.Path("kein.rtf"), "kein RTF-Dokument"},
               {dir.Path("fehlt.rtf"), "keine lesbare Datei"},
               {dir.Path(""), "keine lesbare Datei"}};
  for (const auto& c : cases) {
    sink.texts.clear();
    EXPECT_FALSE(state.ImportBtnClick(c.path)) << c.path;
    EXPECT_EQ(view.document, before) << c.path;
    ASSERT_EQ(sink.texts.size(), 1u) << c.path;
    EXPECT_NE(sink.texts[0].find(c.reason), std::string::npos) << sink.texts[0];
    EXPECT_NE(sink.texts[0].find("kann nicht importiert werden"), std::string::npos) << sink.texts[0];
  }
}

TEST_F(EditorCommandsTest, HtmlImportEmbedsPicturesAppendsRowsAndDerivesText) {
  state.MailTypClick(1);
  state.Attachments.push_back({"/alt.pdf", ""});
  WriteFile(dir.Path("a.gif"), "GIF89a");
  WriteFile(dir.Path("geheim"), "key");
  WriteFile(dir.Path("brief.htm"),
            "<p>Hallo<img src=\"a.gif\"><img src=\"geheim\"></p>\r\n<br>zwei\r\n<img src=\"fehlt.png\">\r\n");
  std::vector<int> progress;
  ASSERT_TRUE(state.HTMLImportClick(dir.Path("brief.htm"), [&](int p) { progress.push_back(p); }));
  EXPECT_EQ(view.source, (Lines{"<p>Hallo<img src=\"cid:A.GIF\"><img src=\"geheim\"></p>", "<br>zwei",
                                "<img src=\"fehlt.png\">"}));
  EXPECT_EQ(RowsOf(view.rows), (Rows{{"/alt.pdf", ""}, {dir.Path("a.gif"), "A.GIF"}}));
  EXPECT_EQ(progress, (std::vector<int>{0, 50, 100, 0}));
  EXPECT_EQ(view.plain, HtmlToPlainText(view.source));
  EXPECT_EQ(state.MailType, 1);
}

TEST_F(EditorCommandsTest, HtmlImportOfAMissingFileChangesNothing) {
  state.MailTypClick(1);
  view.source = {"<p>bleibt"};
  std::vector<int> progress;
  EXPECT_FALSE(state.HTMLImportClick(dir.Path("fehlt.htm"), [&](int p) { progress.push_back(p); }));
  EXPECT_EQ(view.source, Lines{"<p>bleibt"});
  EXPECT_TRUE(state.Attachments.empty());
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("fehlt.htm"), std::string::npos);
  EXPECT_EQ(progress, std::vector<int>{0});
}

TEST_F(EditorCommandsTest, EditBtnMakesTheGeneratedHtmlTheSource) {
  state.AutoText = true;
  view.generated = {"<html><body>", "<div>Hallo", "</body></html>"};
  view.source = {"alt"};
  state.EditBtnClick();
  EXPECT_EQ(view.source, view.generated);
  EXPECT_EQ(state.MailType, 1);
  EXPECT_EQ(view.mailType, 1);
  EXPECT_EQ(view.plain, HtmlToPlainText(view.generated));
}

TEST_F(EditorCommandsTest, PreviewFileHasTheFilesInPlaceOfTwoReferences) {
  state.Attachments = {{"/bilder/a.gif", "A.GIF"}, {"/texte/x.pdf", ""}, {"/bilder/B 2.png", "B 2.PNG"}};
  const std::string folder = dir.Path("") ;
  const std::string path =
      state.WritePreview({"<p>\xC4<img src=\"cid:a.gif\"> und <img src=\"CID:B 2.PNG\" border=0><img src=\"cid:X\">",
                          "zwei"},
                         folder);
  EXPECT_EQ(path, folder + "mail~.htm");
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "<p>\xC4<img src=\"/bilder/a.gif\"> und <img src=\"/bilder/B%202.png\" border=0><img src=\"\">\r\n"
                   "zwei\r\n");
  EXPECT_TRUE(sink.texts.empty());
}

TEST_F(EditorCommandsTest, PreviewFailureNamesTheFile) {
  // A file where the folder should be stops even root.
  WriteFile(dir.Path("datei"), "x");
  const std::string folder = dir.Path("datei") + "/";
  EXPECT_EQ(state.WritePreview({"x"}, folder), "");
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find(folder + "mail~.htm"), std::string::npos) << sink.texts[0];
  EXPECT_NE(sink.texts[0].find("konnte nicht gespeichert werden: "), std::string::npos) << sink.texts[0];
}

TEST(EditorToolbar, SizeListAndTypedSizes) {
  EXPECT_EQ(std::vector<std::string_view>(kFontSizeEntries.begin(), kFontSizeEntries.end()),
            (std::vector<std::string_view>{"8", "10", "12", "14", "18", "24", "36"}));
  EXPECT_EQ(kFontSizeEntries[kStartFontSizeEntry], "10");
  const struct {
    const char* text;
    int size;
  } typed[] = {{"14", 14},   {" 9 ", 9},  {"999", 999}, {"1", 1},     {"", 12},  {"abc", 12}, {"0", 12},
               {"-8", 12},   {"1000", 12}, {"10.5", 12}, {"12pt", 12}, {"  ", 12}, {"\t36", 36}, {"007", 7}};
  for (const auto& t : typed) EXPECT_EQ(FontSizeFromText(t.text), t.size) << "'" << t.text << "'";
  const struct {
    int size;
    int entry;
  } entries[] = {{8, 0}, {10, 1}, {12, 2}, {14, 3}, {18, 4}, {24, 5}, {36, 6}, {11, -1}, {0, -1}, {-8, -1}, {72, -1}};
  for (const auto& e : entries) EXPECT_EQ(FontSizeEntry(e.size), e.entry) << e.size;
}

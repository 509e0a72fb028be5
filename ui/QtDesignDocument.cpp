#include "QtDesignDocument.h"

#include "QtText.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <cmath>

namespace postello {
namespace {

Qt::Alignment AlignToQ(TParaAlign align) {
  switch (align) {
  case paCenter: return Qt::AlignHCenter;
  case paRight: return Qt::AlignRight | Qt::AlignAbsolute;
  case paLeft: break;
  }
  return Qt::AlignLeft | Qt::AlignAbsolute;
}

TParaAlign AlignFromQ(Qt::Alignment align) {
  const Qt::Alignment h = align & Qt::AlignHorizontal_Mask;
  if (h & Qt::AlignHCenter) return paCenter;
  if (h & (Qt::AlignRight | Qt::AlignTrailing)) return paRight;
  return paLeft;
}

QString FaceOf(const QTextCharFormat& f, const QFont& fallback) {
  const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
  if (!families.isEmpty() && !families.first().isEmpty()) return families.first();
  const QString family = f.property(QTextFormat::FontFamily).toString();
  return family.isEmpty() ? fallback.family() : family;
}

int PointsOf(const QTextCharFormat& f, const QFont& fallback) {
  double points = 0;
  if (f.hasProperty(QTextFormat::FontPointSize)) {
    points = f.fontPointSize();
  } else if (f.hasProperty(QTextFormat::FontPixelSize)) {
    // Pasted HTML may give pixels; the model counts points at 96 dpi.
    points = f.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0;
  } else {
    points = fallback.pointSizeF();
  }
  const int whole = static_cast<int>(std::lround(points));
  return whole > 0 ? whole : TCharFormat{}.Size;
}

TCharFormat CharFormatFromQ(const QTextCharFormat& f, const QFont& fallback) {
  TCharFormat c;
  c.Face = FromQ(FaceOf(f, fallback));
  c.Size = PointsOf(f, fallback);
  const QBrush brush = f.foreground();
  c.Color = brush.style() == Qt::NoBrush ? 0 : ColorFromQ(brush.color());
  c.Bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold : fallback.bold();
  c.Italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : fallback.italic();
  c.Underline = f.hasProperty(QTextFormat::TextUnderlineStyle) || f.hasProperty(QTextFormat::FontUnderline)
                    ? f.fontUnderline()
                    : fallback.underline();
  return c;
}

void AppendRun(TParagraph& p, const TCharFormat& format, std::string text) {
  if (text.empty()) return;
  if (!p.Runs.empty() && p.Runs.back().Format == format) {
    p.Runs.back().Text += text;
  } else {
    p.Runs.push_back({format, std::move(text)});
  }
}

} // namespace

QColor ColorToQ(std::uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

std::uint32_t ColorFromQ(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<std::uint32_t>(rgb.red()) | static_cast<std::uint32_t>(rgb.green()) << 8 |
         static_cast<std::uint32_t>(rgb.blue()) << 16;
}

QTextCharFormat CharFormatToQ(const TCharFormat& format) {
  QTextCharFormat f;
  f.setFontFamilies(QStringList{ToQ(format.Face)});
  f.setFontPointSize(format.Size);
  f.setForeground(ColorToQ(format.Color));
  f.setFontWeight(format.Bold ? QFont::Bold : QFont::Normal);
  f.setFontItalic(format.Italic);
  f.setFontUnderline(format.Underline);
  return f;
}

void DesignToQt(const TDesignDocument& model, QTextDocument& doc) {
  doc.clear();
  QTextCursor cursor(&doc);
  cursor.beginEditBlock();
  QTextList* list = nullptr;
  bool first = true;
  for (const TParagraph& p : model.Paragraphs) {
    QTextBlockFormat block;
    block.setAlignment(AlignToQ(p.Align));
    // The block's own character format is what an empty paragraph shows
    // and what typing at its start takes.
    const QTextCharFormat blockChars =
        CharFormatToQ(p.Runs.empty() ? TCharFormat{} : p.Runs.front().Format);
    if (first) {
      cursor.setBlockFormat(block);
      cursor.setBlockCharFormat(blockChars);
      first = false;
    } else {
      cursor.insertBlock(block, blockChars);
    }
    if (p.Bullet) {
      if (list) {
        list->add(cursor.block());
      } else {
        list = cursor.createList(QTextListFormat::ListDisc);
      }
    } else {
      list = nullptr;
    }
    for (const TTextRun& run : p.Runs) cursor.insertText(ToQ(run.Text), CharFormatToQ(run.Format));
  }
  cursor.endEditBlock();
  QTextFrameFormat frame = doc.rootFrame()->frameFormat();
  frame.setBackground(ColorToQ(model.BackColor));
  doc.rootFrame()->setFrameFormat(frame);
  doc.clearUndoRedoStacks();
  doc.setModified(false);
}

TDesignDocument DesignFromQt(const QTextDocument& doc) {
  TDesignDocument model;
  const QBrush back = doc.rootFrame()->frameFormat().background();
  model.BackColor = back.style() == Qt::NoBrush ? 0xFFFFFF : ColorFromQ(back.color());
  if (doc.blockCount() == 1 && doc.begin().length() <= 1) return model;

  const QFont fallback = doc.defaultFont();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    TParagraph p;
    p.Align = AlignFromQ(b.blockFormat().alignment());
    p.Bullet = b.textList() != nullptr;
    model.Paragraphs.push_back(p);
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      const TCharFormat format = CharFormatFromQ(fragment.charFormat(), fallback);
      QString piece;
      const QString text = fragment.text();
      for (const QChar ch : text) {
        if (ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator) {
          AppendRun(model.Paragraphs.back(), format, FromQ(piece));
          piece.clear();
          TParagraph next;
          next.Align = p.Align;
          next.Bullet = p.Bullet;
          model.Paragraphs.push_back(next);
        } else if (ch != QChar::ObjectReplacementCharacter) {
          piece += ch;
        }
      }
      AppendRun(model.Paragraphs.back(), format, FromQ(piece));
    }
  }
  return model;
}

} // namespace postello

#include "core/TMailStore.h"

#include "core/CountedNoun.h"
#include "core/StoredDateTime.h"
#include "core/TMailIdStore.h"
#include "core/TMailOptionsStore.h"
#include "core/SafeFile.h"
#include "core/StringFields.h"

namespace postello {
namespace {

void ReadMail(TBinReader& f, TMailRec& m, std::size_t& badDates) {
  m.Subject = ReadLongStr(f);
  m.PlainText = ReadLongStr(f);
  m.HtmlText = ReadLongStr(f);
  m.DesignHtml = ReadLongStr(f);
  const std::size_t at = f.Pos();
  const std::int32_t rtfSize = f.ReadInt32();
  if (rtfSize < 0) throw EInOutError("Negative RTF-L\xE4nge " + std::to_string(rtfSize), at);
  m.DesignRtf = f.ReadBytes(static_cast<std::size_t>(rtfSize));
  m.MailType = f.ReadByte();
  m.AutoText = f.ReadByte() != 0;
  // Texts end at their first NUL in memory; the date is read as the
  // program holds it.
  std::string dateText(CutAtNul(ReadLongStr(f)));
  if (!TextToDateTime(dateText, m.Date)) {
    m.Date = 0;
    ++badDates;
  }
  if (m.Date == 0) m.DateText = std::move(dateText);
  const std::size_t atCount = f.Pos();
  const std::int32_t count = f.ReadInt32();
  if (count < 0) throw EInOutError("Negative Anzahl Anh\xE4nge " + std::to_string(count), atCount);
  for (std::int32_t k = 0; k < count; ++k) {
    // Both texts are read before the entry is added, so a cut file adds
    // no half-filled attachment.
    std::string fileName = ReadLongStr(f);
    std::string contentId = ReadLongStr(f);
    TAttachRec* a = m.Attachments.Add();
    a->FileName = std::move(fileName);
    a->ContentId = std::move(contentId);
  }
  m.DesignColor = f.ReadUInt32();
  m.NewsDesign = f.ReadByte() != 0;
  m.NewsBackColor = f.ReadUInt32();
  m.NewsHeadBackColor = f.ReadUInt32();
  m.NewsFootBackColor = f.ReadUInt32();
  m.NewsBorderColor = f.ReadUInt32();
  m.NewsHeadFontSize = f.ReadInt32();
  m.NewsFootFontSize = f.ReadInt32();
  m.NewsHeadFontColor = f.ReadUInt32();
  m.NewsFootFontColor = f.ReadUInt32();
  m.NewsHeadFontStyle = f.ReadByte();
  m.NewsFootFontStyle = f.ReadByte();
  m.NewsWidth = f.ReadInt32();
  m.NewsMinHeight = f.ReadInt32();
  m.NewsHeadFontName = ReadLongStr(f);
  m.NewsFootFontName = ReadLongStr(f);
  m.NewsHeadText = ReadLongStr(f);
  m.NewsFootText = ReadLongStr(f);
}

void WriteMail(TBinWriter& f, const TMailRec& m) {
  WriteLongStr(f, m.Subject);
  WriteLongStr(f, m.PlainText);
  WriteLongStr(f, m.HtmlText);
  WriteLongStr(f, m.DesignHtml);
  f.WriteInt32(m.DesignRtfSize());
  f.WriteBytes(m.DesignRtf);
  f.WriteByte(m.MailType);
  f.WriteByte(m.AutoText ? 1 : 0);
  WriteLongStr(f, MailDateText(m));
  f.WriteInt32(static_cast<std::int32_t>(m.Attachments.Count()));
  for (const TAttachRec& a : m.Attachments) {
    WriteLongStr(f, a.FileName);
    WriteLongStr(f, a.ContentId);
  }
  f.WriteUInt32(m.DesignColor);
  f.WriteByte(m.NewsDesign ? 1 : 0);
  f.WriteUInt32(m.NewsBackColor);
  f.WriteUInt32(m.NewsHeadBackColor);
  f.WriteUInt32(m.NewsFootBackColor);
  f.WriteUInt32(m.NewsBorderColor);
  f.WriteInt32(m.NewsHeadFontSize);
  f.WriteInt32(m.NewsFootFontSize);
  f.WriteUInt32(m.NewsHeadFontColor);
  f.WriteUInt32(m.NewsFootFontColor);
  f.WriteByte(m.NewsHeadFontStyle);
  f.WriteByte(m.NewsFootFontStyle);
  f.WriteInt32(m.NewsWidth);
  f.WriteInt32(m.NewsMinHeight);
  WriteLongStr(f, m.NewsHeadFontName);
  WriteLongStr(f, m.NewsFootFontName);
  WriteLongStr(f, m.NewsHeadText);
  WriteLongStr(f, m.NewsFootText);
}

} // namespace

std::string MailDateText(const TMailRecFields& m) { return m.Date != 0 ? DateTimeToText(m.Date) : m.DateText; }

std::string BadDatesMessage(std::size_t badDates) {
  return "In der Datei \"" + std::string(TMailStore::FileName) + "\" konnte bei " +
         CountedNoun(badDates, "Mail", "Mails") + " das Datum nicht gelesen werden; " +
         std::string(ByCount(badDates, "sie wurde", "sie wurden")) + " ohne Datum geladen.";
}

std::string TMailStore::Encode(const TMailList& mails) {
  std::size_t estimate = 4;
  for (const TMailRec& m : mails) {
    estimate += 200 + m.Subject.size() + m.PlainText.size() + m.HtmlText.size() +
                m.DesignHtml.size() + m.DesignRtf.size();
  }
  TBinWriter f;
  f.Reserve(estimate);
  f.WriteInt32(static_cast<std::int32_t>(mails.Count()));
  for (const TMailRec& m : mails) WriteMail(f, m);
  return f.Data();
}

void TMailStore::Decode(std::string_view bytes, TMailList& mails, std::size_t& badDates) {
  TBinReader f(bytes);
  Read(f, mails, badDates);
}

void TMailStore::Read(TBinReader& f, TMailList& mails, std::size_t& badDates) {
  const std::int32_t count = f.ReadInt32();
  mails = TMailList(mails.CurrentVar());
  if (count < 0) throw EInOutError("Negative Anzahl Mails " + std::to_string(count), 0);
  for (std::int32_t k = 0; k < count; ++k) {
    // A mail is added only once it was read whole: what stays loaded after
    // damage is exactly the mails before it.
    TMailRec m;
    ReadMail(f, m, badDates);
    *mails.Add() = std::move(m);
  }
}

TMailLoadResult TMailStore::Open(const std::string& dir, TMailList& mails) {
  TMailLoadResult result;
  const std::string path = dir + FileName;
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return result;
  result.FileFound = true;
  try {
    TBinReader f(in, size);
    Read(f, mails, result.BadDates);
  } catch (const EInOutError& e) {
    result.Error = DescribeDamagedFile(path, e, mails.Count(), "Mail", "Mails");
    return result;
  }
  result.Error = TMailOptionsStore::Open(dir, mails);
  AddMessageLine(result.Error, TMailIdStore::Open(dir, mails));
  return result;
}

void TMailStore::Save(const std::string& dir, const TMailList& mails) {
  SaveFileSafely(dir + FileName, Encode(mails));
  TMailOptionsStore::Save(dir, mails);
  TMailIdStore::Save(dir, mails);
}

} // namespace postello

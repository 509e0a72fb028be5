#pragma once
// Cell values of workbooks as a German office reads them: whole numbers
// without ".0", a decimal comma otherwise, dates as TT.MM.JJJJ.
#include <string>
#include <string_view>

namespace postello {

// A number as the file stores it ("3.5", "1E3"); text that is no number is
// returned as it is.
std::string FormatSheetNumber(std::string_view stored);

// An Excel date serial (days, the fraction is the time of day) as
// TT.MM.JJJJ. date1904: the workbook counts from 1904 (old Mac Excel).
std::string FormatSerialDate(std::string_view stored, bool date1904);

// "2024-03-01" or "2024-03-01T10:30:00" as 01.03.2024; other text as it is.
std::string FormatIsoDate(std::string_view stored);

// True for an Excel number format that shows a date: it has a day or year
// part outside quotes and brackets ("dd/mm/yyyy", "[$-407]DD.MM.YYYY").
bool IsDateFormatCode(std::string_view code);

// Digits of a format like "00000" (postal codes with a leading zero), else 0.
int ZeroPaddingOfFormatCode(std::string_view code);

} // namespace postello

#pragma once
// Which column of an address file goes into which field of the table.
// Columns are found by their header names, German and English, or taken
// in order when the file has no header row.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// What a column header says the column holds, as far as the program's
// own fields go.
enum class THeaderRole { Other, Mail, Name, Vorname, Anrede };

// The role of a header: "E-Mail", "eMail", "Email", "Mail",
// "E-Mail-Adresse", "Email Address" name the address; "Nachname", "Name",
// "Last Name" the NAME field; "Vorname", "First Name" VORNAME; "Anrede",
// "Salutation" ANREDE. Case, blanks, hyphens and underscores do not count.
THeaderRole HeaderRole(std::string_view header);

// The dBASE field name a column header gets in a new table: the program's
// names for the known roles (EMAIL, NAME, VORNAME, ANREDE); otherwise the
// letters and digits upper-cased, umlauts folded (Ä to AE, ß to SS, ...),
// every other run of characters one '_', at most 10 characters, starting
// with a letter ("F" put in front otherwise). Empty header: "".
std::string DbaseFieldName(std::string_view header);

class TImportMapping {
public:
  static constexpr int kSkip = -1;

  TImportMapping() = default;
  // Column i into field i; columns past the last field are not imported.
  static TImportMapping InOrder(std::size_t columns, int fieldCount);
  // Columns by their headers: an address header into the field mailField
  // (a field named EMAIL when mailField names none), the other known roles
  // into the fields of those names, any other header into a field of the
  // same name (compared without case, or as its dBASE name). A field takes
  // the first column that names it; other columns are not imported.
  static TImportMapping FromHeader(const std::vector<std::string>& header, const std::vector<std::string>& fieldNames,
                                   int mailField);

  // The field of a column, kSkip for none (also past the known columns).
  int FieldOf(std::size_t column) const;
  // Sets a column's field (kSkip: not imported); a field already taken by
  // another column is taken from it.
  void Set(std::size_t column, int field);
  std::size_t Columns() const { return mFields.size(); }

  // Applies one "SPALTE=FELD" of the command line: SPALTE is a header name
  // or the column number from 1, FELD a field name or "-" for not
  // importing. Throws std::invalid_argument with a German message.
  void Apply(std::string_view assignment, const std::vector<std::string>& header,
             const std::vector<std::string>& fieldNames);

private:
  std::vector<int> mFields;
};

} // namespace postello

# Writes the manual page of postello-cli from the program's own help, so
# every registered command and option is in the page without a second list
# to keep up to date.
#
#   cmake -DCLI=path/to/postello-cli -DOUT=postello-cli.1 -DVERSION=1.2
#         -DDATE=2026-12-09 -P ManPage.cmake
#
# The overview (postello-cli --help) names the commands, one per line
# indented by two blanks; each command's --help gives its usage line, its
# summary and its options (lines that start with blanks and a dash).
cmake_minimum_required(VERSION 3.25)

foreach(var CLI OUT VERSION DATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: -D${var}=... fehlt")
  endif()
endforeach()

# Runs postello-cli with the given arguments; the text of standard output.
function(cli_help out)
  execute_process(COMMAND "${CLI}" ${ARGN}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "postello-cli ${ARGN} endete mit ${rc}: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text made safe for roff: backslashes, and control characters at the
# start of a line.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Option and command words: a dash is a minus sign there, so the page can
# be searched for and copied from.
function(roff_word out text)
  roff_text(text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The output split into lines; the empty line after the last newline
# dropped. Square brackets and semicolons would change how a CMake list
# splits, so they travel as stand-ins until line_text() puts them back.
function(help_lines out text)
  string(REPLACE "[" "@LB@" text "${text}")
  string(REPLACE "]" "@RB@" text "${text}")
  string(REPLACE ";" "@SC@" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(line_text out line)
  string(REPLACE "@LB@" "[" line "${line}")
  string(REPLACE "@RB@" "]" line "${line}")
  string(REPLACE "@SC@" ";" line "${line}")
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

cli_help(overview --help)
help_lines(overview_lines "${overview}")
set(commands "")
foreach(line IN LISTS overview_lines)
  line_text(line "${line}")
  if(line MATCHES "^  ([a-z][a-z0-9-]*)( |$)")
    list(APPEND commands "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT commands)
  message(FATAL_ERROR "postello-cli --help nennt keinen Befehl:\n${overview}")
endif()

set(page "'\\\" -*- coding: UTF-8 -*-
.\\\" Generated from the help of postello-cli at build time.
.TH POSTELLO-CLI 1 \"${DATE}\" \"Postello ${VERSION}\" \"Benutzerbefehle\"
.\\\" German words split at English hyphenation points; keep them whole.
.nh
.SH NAME
postello-cli \\- Serienmails ohne Desktop: Mails, Konten, Adressen und Versand
.SH ÜBERSICHT
.B postello-cli
.I BEFEHL
.RI [ OPTIONEN ]
.br
.B postello-cli
.I BEFEHL
.B \\-\\-help
.br
.B postello-cli \\-\\-help
.SH BESCHREIBUNG
.B postello-cli
arbeitet mit demselben Code auf denselben Zustandsdateien wie das
Fensterprogramm
.BR postello ,
ohne Desktop.
Jeder Befehl nimmt
.B \\-\\-dir
(den Ordner der Zustandsdateien) und
.BR \\-\\-help .
Die Ausgabe ist UTF\\-8.
Die Nummern von Mails und Konten zählen ab 0 in der Reihenfolge der Listen.
.SH BEFEHLE
")

foreach(command IN LISTS commands)
  cli_help(help ${command} --help)
  help_lines(help_lines "${help}")
  roff_word(name "${command}")
  string(APPEND page ".SS ${name}\n")
  foreach(line IN LISTS help_lines)
    line_text(line "${line}")
    if(line MATCHES "^Aufruf: (.*)$")
      # The usage line, kept in one piece.
      roff_word(usage "${CMAKE_MATCH_1}")
      string(APPEND page ".PP\n.nf\n.B ${usage}\n.fi\n")
    elseif(line MATCHES "^[ \t]+(-[^ \t]*( [^ \t-][^ \t]*)?)([ \t][ \t]+(.*))?$")
      # An option: the name and its value, then the help text.
      roff_word(option "${CMAKE_MATCH_1}")
      roff_text(text "${CMAKE_MATCH_4}")
      string(APPEND page ".TP\n.B ${option}\n${text}\n")
    elseif(line MATCHES "^[ \t]*$")
    else()
      # Any other line is prose: the summary or a note.
      string(STRIP "${line}" line)
      roff_text(text "${line}")
      string(APPEND page ".PP\n${text}\n")
    endif()
  endforeach()
endforeach()

string(APPEND page ".SH DATEIEN
.TP
.I mails.dat
die gespeicherten Mails
.TP
.I konten.dat
die Absender\\-Konten (Passwörter verschleiert, nicht verschlüsselt; nur für
den Eigentümer lesbar)
.TP
.I options.dat
Feldnummer der E\\-Mail\\-Adresse, Bcc\\-Gruppengröße, gewähltes Konto,
Versandart und Adressdatenbank
.TP
.I mailaddies.dbf
die voreingestellte Adressdatenbank
.PP
Ohne
.B \\-\\-dir
liegen die Dateien im Ordner, den auch
.B postello
benutzt: beim installierten Programm
.I $XDG_DATA_HOME/Postello/
(sonst
.IR ~/.local/share/Postello/ ),
bei einem nicht installierten Programm, dessen Ordner beschreibbar ist,
neben dem Programm.
.SH EXIT\\-STATUS
.TP
.B 0
Erfolg.
.TP
.B 1
Arbeit erledigt, aber teilweise fehlgeschlagen (etwa nicht zugestellte
Nachrichten oder ein abgebrochener Versand).
.TP
.B 2
Falsche Argumente, unlesbare Dateien oder Ablehnungen.
.SH SIEHE AUCH
.BR postello (1)
")

file(WRITE "${OUT}.tmp" "${page}")
file(RENAME "${OUT}.tmp" "${OUT}")

#pragma once
// Date-times as the mail store keeps them: a day count since 30 December
// 1899 with the time of day as fraction. 0 stands for "no date" (a mail
// whose stored date could not be read).
#include <string>
#include <string_view>

namespace postello {

// Local date and time now.
double NowDateTime();

// The stored form: whole days since 30.12.1899, the time of day as the
// fraction. Before that day the whole days are negative and the time of day
// still counts away from zero (29.12.1899 06:00 is -1.25), so the day and
// the time can always be read back apart.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// "dd.mm.yyyy hh:mm:ss", the form a German system writes; at exactly
// midnight the time is left out. Empty for 0.
std::string DateTimeToText(double dt);

// Reads "d.m.yyyy[ h:mm[:ss]]" and ISO 8601 "yyyy-mm-dd[ hh:mm[:ss]]" (also
// with 'T'). The German form may have a year of one or two digits, the
// short date form of older German systems ("08.12.26 14:05:00"): the
// century is chosen so that the year lies within 50 years of the present
// one (from 50 years back to 49 ahead). Returns false for anything else;
// the empty text reads as 0.
bool TextToDateTime(std::string_view text, double& dt);
// The same with the present year given.
bool TextToDateTime(std::string_view text, double& dt, int currentYear);

} // namespace postello

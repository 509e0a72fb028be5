#pragma once
// Date-times as the mail store keeps them: a day count since 30 December
// 1899 with the time of day as fraction. 0 stands for "no date" (a mail
// whose stored date could not be read).
#include <string>
#include <string_view>

namespace postello {

// Local date and time now.
double NowDateTime();

double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// "dd.mm.yyyy hh:mm:ss", the form a German system writes; at exactly
// midnight the time is left out. Empty for 0.
std::string DateTimeToText(double dt);

// Reads "d.m.yyyy[ h:mm[:ss]]" and ISO 8601 "yyyy-mm-dd[ hh:mm[:ss]]" (also
// with 'T'). Returns false for anything else; the empty text reads as 0.
bool TextToDateTime(std::string_view text, double& dt);

} // namespace postello

#pragma once
// The text of "Help" → "About": the program and its version, the libraries it runs with and their versions
// (asked at run time: the ones loaded may differ from those it was built with), and the licences.
#include <QString>

QString AboutText();

#pragma once

#include <QString>
#include <QStringList>

// A command line held as one text follows the Windows C runtime's rules: blanks and
// tabs separate arguments, double quotes group, and backslashes escape a quote only
// when they stand directly before it (2n backslashes + quote: n backslashes and the
// quote toggles grouping; 2n+1: n backslashes and a literal quote). Inside a quoted
// group, two quotes in a row give one literal quote.

// Splits a command line into its arguments.
QStringList SplitCommandLine(const QString& commandLine);

// Writes one argument so that SplitCommandLine gives it back unchanged. Text with no
// blank, tab or double quote is returned as it is; otherwise it is quoted.
QString QuoteArgument(const QString& argument);

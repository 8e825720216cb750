#include "CommandLineRules.h"

#include <algorithm>

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine) {
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype n = commandLine.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = commandLine.at(i);
        if (!quoted && isBlank(c)) {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype run = 0;
            while (i + run < n && commandLine.at(i + run) == u'\\') {
                ++run;
            }
            if (i + run < n && commandLine.at(i + run) == u'"') {
                current.append(QString(run / 2, u'\\'));
                if (run % 2 == 1) {
                    current.append(u'"');
                    i += run; // past the escaped quote
                } else {
                    i += run - 1; // the quote is handled on the next turn
                }
            } else {
                current.append(QString(run, u'\\'));
                i += run - 1;
            }
        } else if (c == u'"') {
            if (quoted && i + 1 < n && commandLine.at(i + 1) == u'"') {
                current.append(u'"');
                ++i;
            } else {
                quoted = !quoted;
            }
        } else {
            current.append(c);
        }
    }
    if (inArgument) {
        arguments.append(current);
    }
    return arguments;
}

QString QuoteArgument(const QString& argument) {
    const bool needsQuotes = std::any_of(argument.begin(), argument.end(),
                                         [](QChar c) { return isBlank(c) || c == u'"'; });
    if (!needsQuotes) {
        return argument;
    }
    QString out(u'"');
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            // Double the run and escape the quote itself.
            out.append(QString(backslashes * 2 + 1, u'\\'));
            out.append(u'"');
        } else {
            out.append(QString(backslashes, u'\\'));
            out.append(c);
        }
        backslashes = 0;
    }
    // Backslashes before the closing quote must not escape it.
    out.append(QString(backslashes * 2, u'\\'));
    out.append(u'"');
    return out;
}

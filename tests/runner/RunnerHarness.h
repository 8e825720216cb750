#pragma once

// Shared by the runner tests: the window's log options as the runner sees them, a
// listener, and the stand-in tool's command line and output.

#include "StandinFormat.h"
#include "platform/CommandLineRules.h"
#include "runner/DOSOutputs.h"

#include <QStringList>

#include <functional>
#include <string>

namespace runnertest {

enum class Level { None, Default, Verbose };

// The window's three options as the runner sees them; counts how often it looks.
class Levels : public LogLevelView {
public:
    Level level = Level::Default;
    mutable int noneReads = 0;
    mutable int defaultOrVerboseReads = 0;

    bool logNoneSelected() const override {
        ++noneReads;
        return level == Level::None;
    }
    bool logDefaultOrVerboseSelected() const override {
        ++defaultOrVerboseReads;
        return level != Level::None;
    }
};

// Listens the way the window must: directly, running to its end inside the emit.
struct Listener {
    QStringList events;
    std::function<void(const QString&)> also;

    explicit Listener(DOSOutputs& runner) {
        QObject::connect(
            &runner, &DOSOutputs::ReceiveOutputs, &runner,
            [this](const QString& text) {
                events.append(text);
                if (also) {
                    also(text);
                }
            },
            Qt::DirectConnection);
    }
};

inline const char* const standinVariables[] = {
    "STANDIN_IGNORE_TERM",    "STANDIN_RECORD_ARGV",   "STANDIN_RECORD_CWD",
    "STANDIN_RECORD_PID",     "STANDIN_SILENT_MS",     "STANDIN_HEX",
    "STANDIN_BLOCKS",         "STANDIN_PAUSE_MS",      "STANDIN_ALTERNATE",
    "STANDIN_FAST_BYTES",     "STANDIN_RESULT",        "STANDIN_GRANDCHILD_MS",
    "STANDIN_CLOSE_EARLY_MS", "STANDIN_SLEEP_FOREVER", "STANDIN_REASON",
    "STANDIN_SIGNAL",         "STANDIN_EXIT"};

inline QString standinPath() {
    return QStringLiteral(KESTREL_STANDIN_PATH);
}

inline QString standinLine(const QString& arguments = QString()) {
    return QuoteArgument(standinPath()) + arguments;
}

inline QString blocks(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) {
        text += standin::Block(i);
    }
    return QString::fromStdString(text);
}

inline QString block(int index) {
    return QString::fromStdString(standin::Block(index));
}

} // namespace runnertest

#include "DOSOutputs.h"

DOSOutputs::DOSOutputs(const LogLevelView* levels, QObject* parent)
    : QObject(parent), levels_(levels) {}

DOSOutputs::~DOSOutputs() = default;

QString DOSOutputs::CommandLine() const { return commandLine_; }

void DOSOutputs::setCommandLine(const QString& DOSCommand) { commandLine_ = DOSCommand; }

QString DOSOutputs::Outputs() const { return outputs_; }

QString DOSOutputs::ExecuteCommand(const QString& CommandLine) {
    if (!CommandLine.isEmpty()) {
        commandLine_ = CommandLine;
    }
    return {};
}

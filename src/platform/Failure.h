#pragma once

#include <QString>
#include <exception>

// A failure that reaches a handler's failure path: what went wrong, which component
// raised it, and its number. Shown to the user as "description - source - number".
class Failure : public std::exception {
public:
    Failure(QString description, QString source, int number)
        : description_(std::move(description)), source_(std::move(source)), number_(number) {}

    const QString& description() const { return description_; }
    const QString& source() const { return source_; }
    int number() const { return number_; }
    QString userText() const {
        return description_ + QStringLiteral(" - ") + source_ + QStringLiteral(" - ") +
               QString::number(number_);
    }
    const char* what() const noexcept override { return "Kestrel failure"; }

private:
    QString description_;
    QString source_;
    int number_;
};

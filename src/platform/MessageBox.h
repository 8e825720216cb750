#pragma once

#include <QString>
#include <functional>

enum class MessageIcon { None, Critical };

// Shows a modal message box titled "Kestrel" with an OK button only and returns
// once the user has closed it. Its text can be selected with the mouse, and Ctrl+C
// copies all of it.
void ShowMessage(const QString& text, MessageIcon icon = MessageIcon::None);

// Replaces how messages are shown (tests record them instead of blocking).
// Returns the previous handler; an empty handler restores the real box.
using MessageHandler = std::function<void(const QString& text, MessageIcon icon)>;
MessageHandler SetMessageHandler(MessageHandler handler);

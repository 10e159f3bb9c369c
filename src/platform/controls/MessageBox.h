#pragma once

// The platform's standard message box, as the screens report input errors with it: a text, a
// style (buttons and icon, as the platform numbers them) and a title, the module's name when
// none is given. By default a real QMessageBox (objectName "moduleMessageBox") shown modally
// over the active window; a host or a test may install its own service instead.

#include <QString>

#include <memory>

namespace tesr {

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // The answer, as MessageBox numbers it.
    virtual int Show(const QString& text, int style, const QString& title) = 0;
};

class MessageBox {
public:
    // Styles: one button set plus one icon.
    static constexpr int OkOnly = 0;
    static constexpr int OkCancel = 1;
    static constexpr int AbortRetryIgnore = 2;
    static constexpr int YesNoCancel = 3;
    static constexpr int YesNo = 4;
    static constexpr int RetryCancel = 5;
    static constexpr int Critical = 16;
    static constexpr int Question = 32;
    static constexpr int Exclamation = 48;
    static constexpr int Information = 64;
    // Answers.
    static constexpr int AnswerOk = 1;
    static constexpr int AnswerCancel = 2;
    static constexpr int AnswerAbort = 3;
    static constexpr int AnswerRetry = 4;
    static constexpr int AnswerIgnore = 5;
    static constexpr int AnswerYes = 6;
    static constexpr int AnswerNo = 7;

    static QString DefaultTitle() { return QStringLiteral("tesrpay5"); }

    // An empty title shows the module's name.
    static int Show(const QString& text, int style = OkOnly | Exclamation, const QString& title = QString());
};

// Replaces the service MessageBox::Show uses; nullptr puts the standard one back.
void setMessageBoxService(std::shared_ptr<MessageBoxService> service);
MessageBoxService& messageBoxService();

} // namespace tesr

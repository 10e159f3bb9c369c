#pragma once

// How the host talks to the user: questions and notices (ShowMessageStyle1) and error
// messages. A host replaces the Prompter to present them its own way; tests script one.

#include <QString>

namespace tesr::host {

class Prompter {
public:
    virtual ~Prompter() = default;

    // Buttons: 6 asks Yes/No and answers 2 (Yes) or 4 (No, Escape or the close box);
    // anything else shows OK only and answers 1.
    // Icons: 0 chooses by the buttons (a question mark for Yes/No, information otherwise),
    // 1 information, 2 question, 3 warning, 4 error.
    virtual int ask(const QString& headline, const QString& explanation, int buttons, int icon) = 0;
    // An error with its explanation and, when not empty, a detail the user may open.
    virtual void showError(const QString& headline, const QString& explanation, const QString& detail) = 0;
};

// Standard message boxes (objectName "hostMessage"), modal over the active window.
class QtPrompter final : public Prompter {
public:
    int ask(const QString& headline, const QString& explanation, int buttons, int icon) override;
    void showError(const QString& headline, const QString& explanation, const QString& detail) override;
};

// For runs without a person (screenshots, scripts): writes every message to the standard
// error stream and declines every question.
class ConsolePrompter final : public Prompter {
public:
    int ask(const QString& headline, const QString& explanation, int buttons, int icon) override;
    void showError(const QString& headline, const QString& explanation, const QString& detail) override;
};

} // namespace tesr::host

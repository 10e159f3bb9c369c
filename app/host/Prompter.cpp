#include "host/Prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>

namespace tesr::host {

namespace {

constexpr int ButtonsYesNo = 6;
constexpr int AnswerOk = 1;
constexpr int AnswerYes = 2;
constexpr int AnswerNo = 4;

QMessageBox::Icon boxIcon(int icon, bool question)
{
    switch (icon) {
    case 1:
        return QMessageBox::Information;
    case 2:
        return QMessageBox::Question;
    case 3:
        return QMessageBox::Warning;
    case 4:
        return QMessageBox::Critical;
    default:
        return question ? QMessageBox::Question : QMessageBox::Information;
    }
}

// Owned by the innermost modal screen (the one that asked, even before it is the active
// window), else the active window, so it stays above it.
QMessageBox* makeBox(QMessageBox::Icon icon, const QString& headline, const QString& explanation)
{
    QWidget* owner = QApplication::activeModalWidget();
    auto* box = new QMessageBox(owner ? owner : QApplication::activeWindow());
    box->setObjectName(QStringLiteral("hostMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setWindowTitle(QApplication::applicationDisplayName());
    box->setIcon(icon);
    box->setTextFormat(Qt::PlainText);
    box->setText(headline);
    box->setInformativeText(explanation);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

} // namespace

int QtPrompter::ask(const QString& headline, const QString& explanation, int buttons, int icon)
{
    const bool question = buttons == ButtonsYesNo;
    QPointer<QMessageBox> box = makeBox(boxIcon(icon, question), headline, explanation);
    if (question) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    const int pressed = box->exec();
    delete box; // a guarded pointer: null if the owner window went away meanwhile
    if (!question)
        return AnswerOk;
    return pressed == QMessageBox::Yes ? AnswerYes : AnswerNo;
}

void QtPrompter::showError(const QString& headline, const QString& explanation, const QString& detail)
{
    QPointer<QMessageBox> box = makeBox(QMessageBox::Critical, headline, explanation);
    box->setStandardButtons(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    if (!detail.isEmpty())
        box->setDetailedText(detail);
    box->exec();
    delete box;
}

int ConsolePrompter::ask(const QString& headline, const QString& explanation, int buttons, int)
{
    const bool question = buttons == ButtonsYesNo;
    std::fprintf(stderr, "%s: %s\n%s%s\n", question ? "Question" : "Message", qPrintable(headline),
                 qPrintable(explanation), question ? "\n(answered No)" : "");
    return question ? AnswerNo : AnswerOk;
}

void ConsolePrompter::showError(const QString& headline, const QString& explanation, const QString& detail)
{
    std::fprintf(stderr, "Error: %s\n%s\n%s\n", qPrintable(headline), qPrintable(explanation), qPrintable(detail));
}

} // namespace tesr::host

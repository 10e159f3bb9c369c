#include "platform/controls/MessageBox.h"

#include "platform/controls/Form.h"

#include <QApplication>
#include <QMessageBox>

namespace tesr {

namespace {

class StandardMessageBox final : public MessageBoxService {
public:
    int Show(const QString& text, int style, const QString& title) override
    {
        // Over the screen that asked, even before that screen is the active window.
        QMessageBox box(Form::OpeningWindow());
        box.setObjectName(QStringLiteral("moduleMessageBox"));
        box.setWindowTitle(title);
        box.setText(text);
        box.setTextFormat(Qt::PlainText);
        switch (style & 0x70) {
        case MessageBox::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageBox::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageBox::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageBox::Information:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        QMessageBox::StandardButtons buttons;
        switch (style & 0x7) {
        case MessageBox::OkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case MessageBox::AbortRetryIgnore:
            buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
            break;
        case MessageBox::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case MessageBox::YesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case MessageBox::RetryCancel:
            buttons = QMessageBox::Retry | QMessageBox::Cancel;
            break;
        default:
            buttons = QMessageBox::Ok;
            break;
        }
        box.setStandardButtons(buttons);
        box.setWindowModality(Qt::ApplicationModal);
        const int answer = box.exec();
        switch (answer) {
        case QMessageBox::Ok:
            return MessageBox::AnswerOk;
        case QMessageBox::Abort:
            return MessageBox::AnswerAbort;
        case QMessageBox::Retry:
            return MessageBox::AnswerRetry;
        case QMessageBox::Ignore:
            return MessageBox::AnswerIgnore;
        case QMessageBox::Yes:
            return MessageBox::AnswerYes;
        case QMessageBox::No:
            return MessageBox::AnswerNo;
        default:
            // Closed by Escape or the close box: the box's cancel answer (OK for OK only).
            return (style & 0x7) == MessageBox::OkOnly ? MessageBox::AnswerOk : MessageBox::AnswerCancel;
        }
    }
};

std::shared_ptr<MessageBoxService>& slot()
{
    static std::shared_ptr<MessageBoxService> service;
    return service;
}

} // namespace

void setMessageBoxService(std::shared_ptr<MessageBoxService> service)
{
    slot() = std::move(service);
}

MessageBoxService& messageBoxService()
{
    static StandardMessageBox standard;
    return slot() ? *slot() : standard;
}

int MessageBox::Show(const QString& text, int style, const QString& title)
{
    return messageBoxService().Show(text, style, title.isEmpty() ? DefaultTitle() : title);
}

} // namespace tesr

#include "platform/controls/TaskDialog.h"

#include "platform/controls/Access.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace tesr {

TaskDialog::TaskDialog(QWidget* parent) : QDialog(parent ? parent : QApplication::activeWindow())
{
    setObjectName(QStringLiteral("TaskDialog1"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(10);

    m_instruction = new QLabel(this);
    m_instruction->setObjectName(QStringLiteral("mainInstruction"));
    m_instruction->setTextFormat(Qt::PlainText);
    m_instruction->setWordWrap(true);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    m_instruction->setFont(big);
    QPalette p = m_instruction->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Highlight).darker(130));
    m_instruction->setPalette(p);
    layout->addWidget(m_instruction);

    m_content = new QLabel(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setTextFormat(Qt::PlainText);
    m_content->setWordWrap(true);
    layout->addWidget(m_content);

    m_buttonBox = new QVBoxLayout();
    m_buttonBox->setSpacing(4);
    layout->addLayout(m_buttonBox);
    layout->addStretch(1);
    setMinimumWidth(440);
    // The choice that has the focus is framed, so a keyboard user sees what Enter or Space
    // will answer.
    setStyleSheet(QStringLiteral("QCommandLinkButton { border: 2px solid transparent; border-radius: 4px; }"
                                 "QCommandLinkButton:focus { border-color: palette(highlight); }"));
}

QString TaskDialog::MainInstructionText() const
{
    return m_instruction->text();
}

void TaskDialog::SetMainInstructionText(const QString& text)
{
    m_instruction->setText(text);
}

QString TaskDialog::Content() const
{
    return m_content->text();
}

void TaskDialog::SetContent(const QString& markupOrText)
{
    m_markup = markupOrText;
    m_content->setText(plainTextOf(markupOrText));
}

void TaskDialog::AddButton(const QString& text, int id)
{
    auto* button = new QCommandLinkButton(text, this);
    button->setObjectName(QStringLiteral("button%1").arg(id));
    button->setAutoDefault(false);
    access::PressOnEnter(button);
    connect(button, &QAbstractButton::clicked, this, [this, id] {
        m_result = id;
        accept();
    });
    m_buttonBox->addWidget(button);
    m_buttons.emplace_back(id, text);
}

int TaskDialog::ShowDialog()
{
    m_result = 0;
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    // The first choice has the focus; Tab and the arrow keys move it. A screen reader reads
    // each choice as an answer to the question.
    for (int i = 0; i < m_buttonBox->count(); ++i) {
        QWidget* choice = m_buttonBox->itemAt(i)->widget();
        choice->setAccessibleDescription(tr("An answer to: %1").arg(m_instruction->text()));
        if (i == 0)
            choice->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (exec() != QDialog::Accepted)
        return 0;
    return m_result;
}

QString TaskDialog::plainTextOf(const QString& markup)
{
    QString t = markup;
    static const QRegularExpression lineBreak(QStringLiteral("<\\s*LineBreak\\s*/?\\s*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    t.replace(lineBreak, QStringLiteral("\n"));
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    t.remove(tag);
    t.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    t.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    t.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    t.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    t.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return t.trimmed();
}

} // namespace tesr

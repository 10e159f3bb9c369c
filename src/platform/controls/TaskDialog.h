#pragma once

// A question with a few worded answers: a window title, a main instruction, a wrapped content
// text and command buttons added in order, each with the ID ShowDialog returns when it is
// chosen. Closing the dialog any other way (Escape, the close box) returns 0.
//
// The content may be given as a markup text block ("<TextBlock TextWrapping='Wrap'>...
// </TextBlock>"): the wrapper and any inline tags are dropped, <LineBreak/> starts a new line,
// and the text is shown word-wrapped. SetOption records the platform dialog's further member
// settings; none of them changes how this dialog looks.

#include <QDialog>
#include <QMap>
#include <QString>
#include <QVariant>

#include <vector>

class QLabel;
class QVBoxLayout;

namespace tesr {

class TaskDialog : public QDialog {
    Q_OBJECT
public:
    explicit TaskDialog(QWidget* parent = nullptr);

    QString WindowTitle() const { return windowTitle(); }
    void SetWindowTitle(const QString& title) { setWindowTitle(title); }
    QString MainInstructionText() const;
    void SetMainInstructionText(const QString& text);
    // The text shown (markup removed) and the text as given.
    QString Content() const;
    QString ContentMarkup() const { return m_markup; }
    void SetContent(const QString& markupOrText);
    // Buttons get the object name "button<ID>".
    void AddButton(const QString& text, int id);
    int ButtonCount() const { return int(m_buttons.size()); }
    void SetOption(int member, const QVariant& value) { m_options.insert(member, value); }
    QVariant Option(int member) const { return m_options.value(member); }

    // Shows the dialog modally; the chosen button's ID, or 0.
    int ShowDialog();

    // Drops a <TextBlock> wrapper and inline tags; <LineBreak/> becomes a line break.
    static QString plainTextOf(const QString& markup);

private:
    QLabel* m_instruction;
    QLabel* m_content;
    QVBoxLayout* m_buttonBox;
    QString m_markup;
    std::vector<std::pair<int, QString>> m_buttons;
    QMap<int, QVariant> m_options;
    int m_result = 0;
};

} // namespace tesr

#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;
class QWidget;

namespace vx8 {

// Every modal message and question of the program goes through a Prompter, so that the same code
// runs with a person at the screen (GuiPrompter) and without one (UnattendedPrompter).
class Prompter
{
public:
    enum class Kind { Information, Warning, Error, Confirmation };
    enum Button {
        NoButton = 0x0,
        Ok = 0x1,
        Cancel = 0x2,
        Yes = 0x4,
        No = 0x8,
        Abort = 0x10,
        Retry = 0x20,
        Ignore = 0x40,
        YesToAll = 0x80,
        NoToAll = 0x100,
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    virtual ~Prompter() = default;

    // Shows the text and returns the button chosen (defaultButton when nobody answers).
    virtual Button ask(Kind kind, const QString& text, Buttons buttons, Button defaultButton,
                       const QString& title = {}) = 0;
    // A text for the status bar; unattended runs also log it.
    virtual void status(const QString& text) { Q_UNUSED(text); }

    void inform(const QString& text, const QString& title = {});
    void warn(const QString& text, const QString& title = {});
    void error(const QString& text, const QString& title = {});
    // Yes/No question; true for Yes.
    bool confirm(const QString& text, Button defaultButton = Yes, const QString& title = {});

    // The prompter of the running program (the GUI one unless --unattended). Components take a
    // Prompter* where they are created; this is what the top level hands them.
    static Prompter& instance();
    static void setInstance(Prompter* prompter);

    static QString buttonName(Button b);
    static Button buttonFromName(const QString& name);
    static QString kindName(Kind k);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Prompter::Buttons)

// Records every prompt, answers from a script or with the default, and writes each prompt, its
// answer and every status text to standard output and, when set, to a log file.
class UnattendedPrompter : public Prompter
{
public:
    struct Record
    {
        Kind kind;
        QString text;
        Button answer;
    };
    // An answer rule: the first rule whose text is contained in the prompt answers it, once.
    struct Rule
    {
        QString contains;
        Button answer;
    };

    UnattendedPrompter();
    ~UnattendedPrompter() override;

    Button ask(Kind kind, const QString& text, Buttons buttons, Button defaultButton,
               const QString& title = {}) override;
    void status(const QString& text) override;

    void setLogFile(const QString& path);
    void setEcho(bool toStdout) { m_echo = toStdout; }
    void addRule(const QString& contains, Button answer) { m_rules.append({contains, answer}); }
    // Loads rules from lines "Answer<TAB>text contained" (Answer is Yes, No, Ok, Cancel, ...).
    bool loadScript(const QString& path);
    // Called after every prompt (tests use it to act on the program while it asks).
    std::function<void(const Record&)> onPrompt;

    const QList<Record>& records() const { return m_records; }
    const QStringList& statusTexts() const { return m_status; }
    void clear()
    {
        m_records.clear();
        m_status.clear();
    }
    QStringList texts() const;

private:
    void writeLine(const QString& line);

    QList<Record> m_records;
    QList<Rule> m_rules;
    QStringList m_status;
    std::unique_ptr<QFile> m_log;
    bool m_echo = true;
};

// Modal message boxes.
class GuiPrompter : public Prompter
{
public:
    explicit GuiPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    Button ask(Kind kind, const QString& text, Buttons buttons, Button defaultButton,
               const QString& title = {}) override;

private:
    QWidget* m_parent;
};

} // namespace vx8

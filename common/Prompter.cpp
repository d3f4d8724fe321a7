#include "Prompter.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace vx8 {

namespace {
Prompter* g_instance = nullptr;

const QList<QPair<Prompter::Button, QString>>& buttonNames()
{
    static const QList<QPair<Prompter::Button, QString>> names = {
        {Prompter::Ok, "Ok"},         {Prompter::Cancel, "Cancel"},     {Prompter::Yes, "Yes"},
        {Prompter::No, "No"},         {Prompter::Abort, "Abort"},       {Prompter::Retry, "Retry"},
        {Prompter::Ignore, "Ignore"}, {Prompter::YesToAll, "YesToAll"}, {Prompter::NoToAll, "NoToAll"},
    };
    return names;
}
} // namespace

void Prompter::inform(const QString& text, const QString& title)
{
    ask(Kind::Information, text, Ok, Ok, title);
}

void Prompter::warn(const QString& text, const QString& title)
{
    ask(Kind::Warning, text, Ok, Ok, title);
}

void Prompter::error(const QString& text, const QString& title)
{
    ask(Kind::Error, text, Ok, Ok, title);
}

bool Prompter::confirm(const QString& text, Button defaultButton, const QString& title)
{
    return ask(Kind::Confirmation, text, Buttons(Yes) | No, defaultButton, title) == Yes;
}

Prompter& Prompter::instance()
{
    if (!g_instance) {
        // Nothing installed one (a test or a tool): never block on a message box.
        static UnattendedPrompter fallback;
        return fallback;
    }
    return *g_instance;
}

void Prompter::setInstance(Prompter* prompter)
{
    g_instance = prompter;
}

QString Prompter::buttonName(Button b)
{
    for (const auto& [button, name] : buttonNames()) {
        if (button == b) {
            return name;
        }
    }
    return QStringLiteral("None");
}

Prompter::Button Prompter::buttonFromName(const QString& name)
{
    for (const auto& [button, n] : buttonNames()) {
        if (n.compare(name.trimmed(), Qt::CaseInsensitive) == 0) {
            return button;
        }
    }
    return NoButton;
}

QString Prompter::kindName(Kind k)
{
    switch (k) {
    case Kind::Information:
        return QStringLiteral("information");
    case Kind::Warning:
        return QStringLiteral("warning");
    case Kind::Error:
        return QStringLiteral("error");
    case Kind::Confirmation:
        return QStringLiteral("confirmation");
    }
    return {};
}

UnattendedPrompter::UnattendedPrompter() = default;
UnattendedPrompter::~UnattendedPrompter() = default;

Prompter::Button UnattendedPrompter::ask(Kind kind, const QString& text, Buttons buttons,
                                         Button defaultButton, const QString& title)
{
    Q_UNUSED(title);
    Button answer = defaultButton;
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (text.contains(m_rules[i].contains) && buttons.testFlag(m_rules[i].answer)) {
            answer = m_rules[i].answer;
            m_rules.removeAt(i);
            break;
        }
    }
    m_records.append({kind, text, answer});
    QString oneLine = text;
    oneLine.replace(QStringLiteral("\r\n"), QStringLiteral("\\n")).replace(u'\n', QStringLiteral("\\n"));
    writeLine(QStringLiteral("PROMPT %1: %2").arg(kindName(kind), oneLine));
    writeLine(QStringLiteral("ANSWER %1").arg(buttonName(answer)));
    if (onPrompt) {
        onPrompt(m_records.last());
    }
    return answer;
}

void UnattendedPrompter::status(const QString& text)
{
    m_status.append(text);
    writeLine(QStringLiteral("STATUS %1").arg(text));
}

void UnattendedPrompter::setLogFile(const QString& path)
{
    m_log = std::make_unique<QFile>(path);
    if (!m_log->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        m_log.reset();
    }
}

bool UnattendedPrompter::loadScript(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const qsizetype tab = line.indexOf(u'\t');
        if (line.isEmpty() || line.startsWith(u'#') || tab < 0) {
            continue;
        }
        const Button b = buttonFromName(line.left(tab));
        if (b != NoButton) {
            addRule(line.mid(tab + 1), b);
        }
    }
    return true;
}

QStringList UnattendedPrompter::texts() const
{
    QStringList out;
    for (const auto& r : m_records) {
        out << r.text;
    }
    return out;
}

void UnattendedPrompter::writeLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_echo) {
        fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        fflush(stdout);
    }
    if (m_log) {
        m_log->write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' + bytes);
        m_log->flush();
    }
}

} // namespace vx8

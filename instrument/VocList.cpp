#include "instrument/VocList.h"

#include "common/Prompter.h"
#include "common/Trace.h"
#include "common/db/Database.h"

namespace vx8 {

bool TVocList::LoadVocList(const TDBSettings& settings, Prompter* prompter)
{
    LocalDebugString(QStringLiteral("LoadVocList"), lcInstr());
    db::Connection connection(settings);
    const db::Rows rows = connection.open()
                              ? connection.query(QStringLiteral("SELECT * FROM voc_info ORDER BY voccode"))
                              : db::Rows();
    if (!rows.ok()) {
        LocalDebugString(QStringLiteral("LoadVocList: %1").arg(connection.lastError()), lcInstr());
        m_list.clear();
        (prompter ? *prompter : Prompter::instance())
            .warn(
                QStringLiteral("Cannot Connect to Database!  Please check status of Database Server, restart "
                               "the software and try again."));
        return false;
    }
    QList<TVoc> list;
    for (const db::Row& row : rows) {
        TVoc v;
        v.voccode = row.toInt(QStringLiteral("voccode"));
        v.longname = row.text(QStringLiteral("longname"));
        v.shortname = row.text(QStringLiteral("shortname"));
        v.factor = row.toInt(QStringLiteral("factor"));
        v.warningalarm = row.toInt(QStringLiteral("warningalarm"));
        v.dangeralarm = row.toInt(QStringLiteral("dangeralarm"));
        v.stelalarm = row.toInt(QStringLiteral("stelalarm"));
        v.twaalarm = row.toInt(QStringLiteral("twaalarm"));
        list.append(v);
    }
    m_list = list;
    connection.close();
    return true;
}

const TVoc* TVocList::find(int code) const
{
    for (const TVoc& v : m_list)
        if (v.voccode == code)
            return &v;
    return nullptr;
}

QString TVocList::GetVocName(int code) const
{
    const TVoc* v = find(code);
    return v ? v->longname : QStringLiteral("Unknown");
}

} // namespace vx8

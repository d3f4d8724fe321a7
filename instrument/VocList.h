#pragma once

// The VOC gas list of the results database (table voc_info), loaded once per dock frame.

#include "common/db/DBSettings.h"

#include <QList>
#include <QString>

namespace vx8 {

class Prompter;

struct TVoc
{
    int voccode = 0;
    QString longname;
    QString shortname;
    int factor = 0;
    int warningalarm = 0;
    int dangeralarm = 0;
    int stelalarm = 0;
    int twaalarm = 0;
};

class TVocList
{
public:
    // "SELECT * FROM voc_info ORDER BY voccode" on a connection of its own. Without a database it
    // warns "Cannot Connect to Database!  Please check status ..." and returns false; the list is
    // then empty and every name "Unknown".
    bool LoadVocList(const TDBSettings& settings, Prompter* prompter = nullptr);
    // The long name of the first entry with that code, else "Unknown".
    QString GetVocName(int code) const;
    // The first entry with that code, or null.
    const TVoc* find(int code) const;

    const QList<TVoc>& entries() const { return m_list; }
    void setEntries(QList<TVoc> list) { m_list = std::move(list); }

private:
    QList<TVoc> m_list;
};

} // namespace vx8

#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace vx8 {

// One running copy per program folder. The first start listens on a local socket named after the
// program folder; a later start from the same folder connects, asks the first to raise its
// window, and ends. A copy in another folder has another name and starts normally.
class SingleInstanceGuard : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstanceGuard(const QString& programFolder, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // The local socket name for a program folder: the path without its "/", cut to fit a socket
    // path (with a hash of the whole path when it is long).
    static QString serverName(const QString& programFolder);

    // True when this is the only copy (it now listens); false when another copy runs from the
    // same folder and was asked to raise its window.
    bool acquire();

    // Called when a later start asks this copy to come to the front.
    std::function<void()> onRaiseRequested;

private:
    bool askRunningCopy();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace vx8

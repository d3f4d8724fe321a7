#pragma once

// A plain-socket client of one simulated dock: the two TCP sessions the application would open,
// with every received chunk kept as it arrived.
#include "SimServer.h"
#include "TestSupport.h"

#include <QTcpSocket>
#include <QTest>

class SimClient : public QObject
{
public:
    QTcpSocket ctl, data;
    QList<QByteArray> ctlChunks, dataChunks;

    SimClient()
    {
        connect(&ctl, &QTcpSocket::readyRead, this, [this] { ctlChunks.append(ctl.readAll()); });
        connect(&data, &QTcpSocket::readyRead, this, [this] { dataChunks.append(data.readAll()); });
    }
    bool open(const vx8::sim::SimDock* dock)
    {
        ctl.connectToHost(dock->address(), dock->controlPort());
        data.connectToHost(dock->address(), dock->dataPort());
        return ctl.waitForConnected(vx8::test::scaled(5000)) &&
               data.waitForConnected(vx8::test::scaled(5000));
    }
    QByteArray ctlAll() const { return ctlChunks.join(); }
    QByteArray dataAll() const { return dataChunks.join(); }
    // Sends a command and waits until at least `bytes` bytes have come back on the control channel.
    QByteArray command(const QByteArray& cmd, int bytes)
    {
        const int before = int(ctlAll().size());
        ctl.write(cmd);
        ctl.flush();
        (void)QTest::qWaitFor([&] { return ctlAll().size() >= before + bytes; }, vx8::test::scaled(5000));
        return ctlAll().mid(before);
    }
    // Sends an instrument command as user data and waits for `bytes` bytes of reply.
    QByteArray instrument(const QByteArray& cmd, int bytes)
    {
        const int before = int(dataAll().size());
        data.write(cmd);
        data.flush();
        (void)QTest::qWaitFor([&] { return dataAll().size() >= before + bytes; }, vx8::test::scaled(5000));
        return dataAll().mid(before);
    }
    // Sends a command while events may be arriving: the `bytes` bytes from the first "ACK" or
    // "NAK" after the send.
    QByteArray reply(const QByteArray& cmd, int bytes)
    {
        const int before = int(ctlAll().size());
        ctl.write(cmd);
        ctl.flush();
        auto at = [&] {
            const QByteArray all = ctlAll();
            int a = int(all.indexOf("ACK", before)), n = int(all.indexOf("NAK", before));
            return a < 0 ? n : (n < 0 ? a : qMin(a, n));
        };
        (void)QTest::qWaitFor([&] { return at() >= 0 && ctlAll().size() >= at() + bytes; },
                              vx8::test::scaled(5000));
        return at() >= 0 ? ctlAll().mid(at(), bytes) : QByteArray();
    }
    bool waitControl(const QByteArray& needle, int from = 0)
    {
        return QTest::qWaitFor([&] { return ctlAll().indexOf(needle, from) >= 0; }, vx8::test::scaled(10000));
    }
};

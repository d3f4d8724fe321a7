#pragma once

#include "UsbBackend.h"
#include "UsbTypes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>
#include <memory>

namespace vx8 {

class Prompter;
class TUSBDevice;

// One endpoint of an opened dock, numbered in descriptor order. The dock's firmware fixes the
// roles: pipe 0 user data out, pipe 1 user data in, pipe 2 control in, pipe 3 control out.
//
// Output: SendData queues the bytes; they leave in rounds of at most 64 bytes, one round after the
// previous one has been written, while the device is open and not halted. OutputBufferCount is the
// number of queued bytes not yet handed to the device.
// Input: received bytes gather in the input buffer until the owner takes them (TakeInput), normally
// in its OnPipeData handler.
class TUSBPipe : public QObject
{
    Q_OBJECT
public:
    // Most bytes one SendData may leave queued; beyond it SendData refuses (-1).
    static constexpr int MaxQueuedOutput = 4 * 1024 * 1024;
    // Bytes written per output round.
    static constexpr int OutputRoundSize = 64;

    TUSBPipe(TUSBDevice* device, int pipeNumber, const UsbEndpoint& endpoint, const QString& devicePath);

    int PipeNumber() const { return m_number; }
    bool IsInput() const { return m_endpoint.isInput(); }
    const UsbEndpoint& Endpoint() const { return m_endpoint; }
    // Device path + "/PIPE" + two upper-case hex digits ("…/PIPE03"); a name for diagnostics.
    QString PipePath() const { return m_path; }
    bool IsOpen() const { return m_open; }

    // OnData is raised when InputBufferCount reaches InputTrigger (0: whenever data arrives).
    int InputTrigger() const { return m_inputTrigger; }
    void SetInputTrigger(int count) { m_inputTrigger = qMax(0, count); }
    int InputBufferCount() const { return int(m_input.size()); }
    int OutputBufferCount() const { return int(m_output.size()); }
    // True when nothing is queued or being written.
    bool OutputEmpty() const { return m_output.isEmpty() && !m_writing; }

    // Queues Count bytes of Data (at most Data's size) for writing; returns Count. A pipe that is not
    // open raises OnError, writes the diagnostic "TUSBPipe.SendData **ERROR** - Pipe n not open!" and
    // returns -1. Never waits: output sent while earlier output is still queued goes after it.
    int SendData(const QByteArray& data);
    int SendData(const char* data, int count);
    // Returns the whole input buffer and clears it.
    QByteArray TakeInput();

    // Completes with true once everything queued has been written, false when the pipe closes or the
    // time-out passes first.
    QCoro::Task<bool> WaitOutputDrained(std::chrono::milliseconds timeout);

    // Assigned by the owning device to its own handlers.
    TOnPipeData OnData;
    TOnPipeError OnError;
    TOnOpenPipeError OnOpenError;

Q_SIGNALS:
    // The output has been written completely, or the pipe closed.
    void outputSettled();

private:
    friend class TUSBDevice;
    void open(UsbConnection* connection);
    void close();
    void pumpOutput();
    void written(int count);
    void failed(int error);
    void appendInput(const QByteArray& bytes);
    void retryWrite();

    TUSBDevice* m_device;
    int m_number;
    UsbEndpoint m_endpoint;
    QString m_path;
    UsbConnection* m_connection = nullptr;
    bool m_open = false;
    int m_inputTrigger = 0;
    QByteArray m_input;
    QByteArray m_output;  // queued, not yet handed over
    QByteArray m_inFlight; // handed to the device, not yet confirmed
    bool m_writing = false;
};

// A USB-attached dock: found by enumeration, opened, spoken to through numbered pipes.
//
// Life: construct → SetDeviceType (class chosen, DeviceList filled) → SetDeviceName (descriptors
// read, pipes created) → Open (pipes open, IsConnected, Halted) → SetHalted(false) by the owner
// (transfers run) → Close or removal (pipes closed, not connected, Halted).
//
// Every event is raised on the thread that owns the device, from the event loop. Data
// notifications are queued: DebugOnPipeData(pipe, count) then OnPipeData(pipe, count), in the order
// the data arrived, with the pipe's current InputBufferCount; the handler takes the pipe's input
// with Pipe(n)->TakeInput(). While the device is open and halted, notifications wait until the halt
// is cleared. A removal is reported once per Open as OnDeviceRemoved.
//
// Messages go to the prompter given at construction ("USBDevice already Connected!", "Device has
// no pipes!", "Failed to open device", "Device Info not found!", "Error too many pipes!",
// "No devices found!").
class TUSBDevice : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxPipes = 8;
    // Consecutive failures on one pipe, with the device still present, after which the pipe stops
    // and OnPipeError is raised.
    static constexpr int MaxPipeErrors = 3;

    // backend: where devices are found; null takes UsbBackend::createDefault().
    explicit TUSBDevice(Prompter* prompter, QObject* parent = nullptr,
                        std::shared_ptr<UsbBackend> backend = nullptr);
    ~TUSBDevice() override;

    UsbBackend& Backend() const { return *m_backend; }

    TDeviceType DeviceType() const { return m_type; }
    // Stores the type, selects its interface class and runs UpdateDeviceList.
    void SetDeviceType(TDeviceType type);
    QString InterfaceClass() const { return InterfaceClassOf(m_type); }

    // Device paths found by the last enumeration, in enumeration order.
    const QStringList& DeviceList() const { return m_deviceList; }
    // Enumerates the present devices of the current class into DeviceList; always true.
    bool UpdateDeviceList();
    // Convenience for the dock link's enable: UpdateDeviceList; when the list is empty shows
    // "No devices found!" and returns false; otherwise selects the first entry (SetDeviceName).
    bool SelectFirstDevice();

    QString DeviceName() const { return m_deviceName; }
    // Stores the path, reads the descriptors and rebuilds the pipes. False (pipes unchanged) while
    // the device is open; false with no pipes when the descriptors cannot be read ("Failed to open
    // device", "Device Info not found!"), when there are 8 or more endpoints ("Error too many
    // pipes!"), or when a dock type's endpoints are not four bulk endpoints OUT, IN, IN, OUT.
    bool SetDeviceName(const QString& path);

    int PipeCount() const { return int(m_pipes.size()); }
    // Pipe n, or nullptr.
    TUSBPipe* Pipe(int n) const { return n >= 0 && n < m_pipes.size() ? m_pipes[n] : nullptr; }
    // SendData on pipe n; -1 when there is no such pipe.
    int SendData(int pipe, const QByteArray& data);

    // "USBDevice already Connected!" and true when connected; "Device has no pipes!" and false when
    // there are no pipes; otherwise sets Halted, opens the pipes and returns IsConnected.
    bool Open();
    // Closes the pipes (not connected, Halted). Returns whether a disconnect is still outstanding,
    // which is never the case: the pipes are closed when it returns.
    bool Close();

    bool IsConnected() const { return m_connected; }
    bool Halted() const { return m_halted; }
    // Clearing it lets the transfers run; setting it pauses them.
    void SetHalted(bool halted);

    // Both ways deliver notifications queued on the owning thread; kept for the owners that set it.
    bool UseWindowsMsgs() const { return m_useWindowsMsgs; }
    void SetUseWindowsMsgs(bool on) { m_useWindowsMsgs = on; }
    TPacketSize ReceiveBufferSize() const { return m_receiveBufferSize; }
    void SetReceiveBufferSize(TPacketSize size) { m_receiveBufferSize = size; }

    TOnPipeData OnPipeData;
    TOnPipeData DebugOnPipeData;
    TOnPipeError OnPipeError;
    TOnOpenPipeError OnOpenPipeError;
    TNotifyEvent OnDeviceRemoved;

private:
    void clearPipes();
    void disconnectPipes();
    void queueNotification(int pipe);
    void deliverNotification(int pipe);
    void pipeFailed(int pipe, int error);
    void handleRemoved();
    void pipeOpenFailed(int pipe, int error, const QString& path);

    Prompter* m_prompter;
    std::shared_ptr<UsbBackend> m_backend;
    TDeviceType m_type = TDeviceType::tpCalderwickVX8;
    QStringList m_deviceList;
    QString m_deviceName;
    QList<TUSBPipe*> m_pipes;
    QList<int> m_pipeErrors;
    QList<bool> m_notifyPending;
    QList<bool> m_notifyDeferred;
    std::unique_ptr<UsbConnection> m_connection;
    bool m_connected = false;
    bool m_halted = false;
    bool m_removalReported = false;
    bool m_useWindowsMsgs = true;
    TPacketSize m_receiveBufferSize = TPacketSize::szAuto;
};

} // namespace vx8

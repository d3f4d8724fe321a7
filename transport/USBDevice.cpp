#include "USBDevice.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QMetaObject>

#include <QCoro/QCoroSignal>

#include <libusb.h>

namespace vx8 {

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcUsb());
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TUSBPipe

TUSBPipe::TUSBPipe(TUSBDevice* device, int pipeNumber, const UsbEndpoint& endpoint,
                   const QString& devicePath)
    : QObject(device), m_device(device), m_number(pipeNumber), m_endpoint(endpoint),
      m_path(devicePath + QStringLiteral("/PIPE")
             + QStringLiteral("%1").arg(pipeNumber, 2, 16, QLatin1Char('0')).toUpper())
{
}

void TUSBPipe::open(UsbConnection* connection)
{
    trace(QStringLiteral("TUSBPipe.OpenAction - Pipe %1").arg(m_number));
    m_connection = connection;
    m_open = true;
}

void TUSBPipe::close()
{
    trace(QStringLiteral("TUSBPipe.CloseAction - Pipe %1").arg(m_number));
    m_open = false;
    m_connection = nullptr;
    // What was not written cannot be written any more; waiters learn it from IsOpen().
    m_output.clear();
    m_inFlight.clear();
    m_writing = false;
    Q_EMIT outputSettled();
}

int TUSBPipe::SendData(const char* data, int count)
{
    if (count < 0 || (count > 0 && data == nullptr)) {
        trace(QStringLiteral("TUSBPipe.SendData **ERROR** - Pipe %1 bad count %2").arg(m_number).arg(count));
        return -1;
    }
    return SendData(QByteArray(data, count));
}

int TUSBPipe::SendData(const QByteArray& data)
{
    if (!m_open) {
        const int error = LIBUSB_ERROR_NO_DEVICE;
        if (OnError) {
            OnError(this, m_number, error);
        }
        trace(QStringLiteral("TUSBPipe.SendData **ERROR** - Pipe %1 not open!").arg(m_number));
        return -1;
    }
    if (m_output.size() + data.size() > MaxQueuedOutput) {
        trace(QStringLiteral("TUSBPipe.SendData **ERROR** - Pipe %1 output queue full (%2 bytes waiting)")
                  .arg(m_number)
                  .arg(m_output.size()));
        return -1;
    }
    m_output.append(data);
    pumpOutput();
    return int(data.size());
}

QByteArray TUSBPipe::TakeInput()
{
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

QCoro::Task<bool> TUSBPipe::WaitOutputDrained(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_open && !OutputEmpty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            co_return false;
        }
        co_await qCoro(this, &TUSBPipe::outputSettled, left);
    }
    co_return m_open && OutputEmpty();
}

void TUSBPipe::pumpOutput()
{
    if (!m_open || m_writing || m_output.isEmpty() || !m_connection || m_device->Halted()) {
        return;
    }
    m_inFlight = m_output.left(OutputRoundSize);
    m_output.remove(0, m_inFlight.size());
    m_writing = true;
    if (!m_connection->write(m_number, m_inFlight)) {
        // The connection raises onError; the device decides about a retry.
        return;
    }
}

void TUSBPipe::retryWrite()
{
    if (!m_open || !m_connection || m_inFlight.isEmpty()) {
        return;
    }
    m_writing = true;
    m_connection->write(m_number, m_inFlight);
}

void TUSBPipe::written(int count)
{
    Q_UNUSED(count);
    m_inFlight.clear();
    m_writing = false;
    if (m_output.isEmpty()) {
        Q_EMIT outputSettled();
    }
    pumpOutput();
}

void TUSBPipe::failed(int error)
{
    trace(QStringLiteral("TUSBPipe.OnPumpingError - Pipe=%1, ERROR %2, %3")
              .arg(m_number)
              .arg(error)
              .arg(UsbErrorText(error)));
    if (IsInput()) {
        trace(QStringLiteral("TUSBPipe.FReadUSBDevFile ReadFile **ERROR** - Pipe=%1").arg(m_number));
    } else {
        trace(QStringLiteral("TUSBPipe.FWriteUSBDeviceFile WriteFile **ERROR** - Pipe=%1").arg(m_number));
        m_writing = false;
    }
    if (OnError) {
        OnError(this, m_number, error);
    }
}

void TUSBPipe::appendInput(const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        return;
    }
    m_input.append(bytes);
    if (InputBufferCount() >= m_inputTrigger && OnData) {
        OnData(this, m_number, InputBufferCount());
    }
}

// ---------------------------------------------------------------------------------------------
// TUSBDevice

TUSBDevice::TUSBDevice(Prompter* prompter, QObject* parent, std::shared_ptr<UsbBackend> backend)
    : QObject(parent), m_prompter(prompter),
      m_backend(backend ? std::move(backend) : UsbBackend::createDefault())
{
    trace(QStringLiteral("TUSBDevice.Create"));
}

TUSBDevice::~TUSBDevice()
{
    trace(QStringLiteral("TUSBDevice.Destroy"));
    disconnectPipes();
    clearPipes();
}

void TUSBDevice::SetDeviceType(TDeviceType type)
{
    trace(QStringLiteral("TUSBDevice.SetDeviceType"));
    m_type = type;
    UpdateDeviceList();
}

bool TUSBDevice::UpdateDeviceList()
{
    trace(QStringLiteral("TUSBDevice.UpdateDeviceList"));
    m_deviceList = m_backend->enumerate(m_type);
    return true;
}

bool TUSBDevice::SelectFirstDevice()
{
    trace(QStringLiteral("TUSBDevice.SelectFirstDevice"));
    UpdateDeviceList();
    if (m_deviceList.isEmpty()) {
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("No devices found!"));
        }
        return false;
    }
    return SetDeviceName(m_deviceList.first());
}

bool TUSBDevice::SetDeviceName(const QString& path)
{
    trace(QStringLiteral("TUSBDevice.SetDeviceName - ") + path);
    if (m_connected) {
        trace(QStringLiteral("TUSBDevice.SetDeviceName **ERROR** - device is open, name kept"));
        return false;
    }
    m_deviceName = path;
    clearPipes();

    QString why;
    const auto endpoints = m_backend->readEndpoints(path, &why);
    if (!endpoints) {
        trace(QStringLiteral("TUSBDevice.GetDeviceInfo - ") + why);
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("Failed to open device"));
            m_prompter->inform(QStringLiteral("Device Info not found!"));
        }
        return false;
    }
    if (endpoints->size() >= MaxPipes) {
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("Error too many pipes!"));
        }
        return false;
    }
    if (m_type == TDeviceType::tpCalderwickVX8) {
        // The dock's firmware fixes four bulk pipes: 0 out, 1 in, 2 in, 3 out.
        static const bool roleIsInput[4] = {false, true, true, false};
        bool fits = endpoints->size() == 4;
        for (int i = 0; fits && i < 4; ++i) {
            fits = endpoints->at(i).isBulk() && endpoints->at(i).isInput() == roleIsInput[i]
                   && endpoints->at(i).maxPacketSize > 0;
        }
        if (!fits) {
            trace(QStringLiteral("TUSBDevice.SetDeviceName **ERROR** - %1 endpoints do not match the "
                                 "dock's pipes (bulk OUT, IN, IN, OUT); no pipes")
                      .arg(endpoints->size()));
            return false;
        }
    }
    for (int n = 0; n < endpoints->size(); ++n) {
        auto* pipe = new TUSBPipe(this, n, endpoints->at(n), path);
        pipe->OnData = [this](QObject*, int p, int) { queueNotification(p); };
        pipe->OnError = [this](QObject*, int p, int error) { pipeFailed(p, error); };
        pipe->OnOpenError = [this](QObject*, int p, int error, const QString& pipePath) {
            pipeOpenFailed(p, error, pipePath);
        };
        m_pipes.append(pipe);
    }
    m_pipeErrors = QList<int>(m_pipes.size(), 0);
    m_notifyPending = QList<bool>(m_pipes.size(), false);
    m_notifyDeferred = QList<bool>(m_pipes.size(), false);
    return true;
}

void TUSBDevice::clearPipes()
{
    qDeleteAll(m_pipes);
    m_pipes.clear();
    m_pipeErrors.clear();
    m_notifyPending.clear();
    m_notifyDeferred.clear();
}

int TUSBDevice::SendData(int pipe, const QByteArray& data)
{
    TUSBPipe* p = Pipe(pipe);
    if (!p) {
        trace(QStringLiteral("TUSBDevice.SendData **ERROR** - no pipe %1").arg(pipe));
        return -1;
    }
    return p->SendData(data);
}

bool TUSBDevice::Open()
{
    trace(QStringLiteral("TUSBDevice.Open"));
    if (m_connected) {
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("USBDevice already Connected!"));
        }
        return true;
    }
    if (m_pipes.isEmpty()) {
        if (m_prompter) {
            m_prompter->inform(QStringLiteral("Device has no pipes!"));
        }
        return false;
    }
    m_halted = true;
    int error = 0;
    std::unique_ptr<UsbConnection> connection = m_backend->open(m_deviceName, &error);
    if (!connection) {
        for (TUSBPipe* pipe : std::as_const(m_pipes)) {
            if (pipe->OnOpenError) {
                pipe->OnOpenError(pipe, pipe->PipeNumber(), error, pipe->PipePath());
            }
        }
        return false;
    }
    m_connection = std::move(connection);
    m_connection->onData = [this](int pipe, const QByteArray& bytes) {
        if (TUSBPipe* p = Pipe(pipe)) {
            m_pipeErrors[pipe] = 0;
            p->appendInput(bytes);
        }
    };
    m_connection->onWritten = [this](int pipe, int written) {
        if (TUSBPipe* p = Pipe(pipe)) {
            m_pipeErrors[pipe] = 0;
            p->written(written);
        }
    };
    m_connection->onError = [this](int pipe, int error) {
        if (TUSBPipe* p = Pipe(pipe)) {
            p->failed(error);
        }
    };
    m_connection->onRemoved = [this] { handleRemoved(); };
    m_connection->setReceiving(false);
    for (TUSBPipe* pipe : std::as_const(m_pipes)) {
        pipe->open(m_connection.get());
    }
    for (int i = 0; i < m_pipes.size(); ++i) {
        m_pipeErrors[i] = 0;
        m_notifyDeferred[i] = false;
    }
    m_removalReported = false;
    m_connected = true;
    return m_connected;
}

bool TUSBDevice::Close()
{
    trace(QStringLiteral("TUSBDevice.Close"));
    if (!m_connected) {
        return false;
    }
    trace(QStringLiteral("TUSBDevice.ThreadCall ***DISCONNECTING!***"));
    disconnectPipes();
    return false;
}

void TUSBDevice::disconnectPipes()
{
    if (m_connection) {
        m_connection.release()->closeAndDelete();
    }
    const bool wasConnected = m_connected;
    m_connected = false;
    m_halted = true;
    for (TUSBPipe* pipe : std::as_const(m_pipes)) {
        if (pipe->IsOpen()) {
            pipe->close();
        }
    }
    // Input that arrived while halted is still announced, so that nothing buffered is stranded.
    if (wasConnected) {
        for (int i = 0; i < m_pipes.size(); ++i) {
            if (m_notifyDeferred[i]) {
                m_notifyDeferred[i] = false;
                queueNotification(i);
            }
        }
    }
}

void TUSBDevice::SetHalted(bool halted)
{
    trace(QStringLiteral("TUSBDevice.SetHalted - %1").arg(halted ? QLatin1String("True") : QLatin1String("False")));
    if (m_halted == halted) {
        return;
    }
    m_halted = halted;
    if (!m_connected) {
        return;
    }
    m_connection->setReceiving(!halted);
    if (halted) {
        return;
    }
    for (int i = 0; i < m_pipes.size(); ++i) {
        m_pipes[i]->pumpOutput();
        if (m_notifyDeferred[i]) {
            m_notifyDeferred[i] = false;
            queueNotification(i);
        }
    }
}

void TUSBDevice::queueNotification(int pipe)
{
    if (pipe < 0 || pipe >= m_pipes.size() || m_notifyPending[pipe]) {
        return;
    }
    m_notifyPending[pipe] = true;
    QMetaObject::invokeMethod(this, [this, pipe] { deliverNotification(pipe); }, Qt::QueuedConnection);
}

void TUSBDevice::deliverNotification(int pipe)
{
    if (pipe < 0 || pipe >= m_pipes.size()) {
        return;
    }
    m_notifyPending[pipe] = false;
    if (m_connected && m_halted) {
        m_notifyDeferred[pipe] = true;
        return;
    }
    const int count = m_pipes[pipe]->InputBufferCount();
    if (count <= 0) {
        return;
    }
    if (DebugOnPipeData) {
        DebugOnPipeData(this, pipe, count);
    }
    if (OnPipeData) {
        OnPipeData(this, pipe, count);
    }
}

void TUSBDevice::pipeFailed(int pipe, int error)
{
    trace(QStringLiteral("TUSBDevice.OnPipeError - Pipe=%1, %2").arg(pipe).arg(UsbErrorText(error)));
    if (!m_connected || pipe < 0 || pipe >= m_pipes.size()) {
        return; // a send on a closed pipe, or an error from a connection already closed
    }
    if (error == LIBUSB_ERROR_NO_DEVICE) {
        handleRemoved();
        return;
    }
    UpdateDeviceList();
    if (!m_deviceList.contains(m_deviceName)) {
        handleRemoved();
        return;
    }
    // Still present: try again, but a pipe that keeps failing is stopped and reported.
    if (++m_pipeErrors[pipe] >= MaxPipeErrors) {
        trace(QStringLiteral("TUSBDevice.OnPipeError - Pipe=%1 stopped after %2 errors")
                  .arg(pipe)
                  .arg(m_pipeErrors[pipe]));
        if (!m_pipes[pipe]->IsInput()) {
            // The bytes it could not write are gone; later sends report failure instead of
            // leaving with a gap.
            m_pipes[pipe]->close();
        }
        if (OnPipeError) {
            OnPipeError(this, pipe, error);
        }
        return;
    }
    m_connection->restart(pipe);
    if (!m_pipes[pipe]->IsInput()) {
        m_pipes[pipe]->retryWrite();
    }
}

void TUSBDevice::handleRemoved()
{
    if (m_removalReported || !m_connected) {
        return;
    }
    m_removalReported = true;
    trace(QStringLiteral("TUSBDevice.DeviceRemoved - ") + m_deviceName);
    disconnectPipes();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OnDeviceRemoved) {
                OnDeviceRemoved(this);
            }
        },
        Qt::QueuedConnection);
}

void TUSBDevice::pipeOpenFailed(int pipe, int error, const QString& path)
{
    trace(QStringLiteral("TUSBPipe.FOpenUSBDeviceFile - Failed to open pipe %1, %2").arg(path, UsbErrorText(error)));
    trace(QStringLiteral("TUSBPipe.OpenAction **ERROR** - FAILED TO OPEN Pipe %1").arg(pipe));
    if (OnOpenPipeError) {
        OnOpenPipeError(this, pipe, error, path);
    }
}

} // namespace vx8

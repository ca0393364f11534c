#include "gui/core/mscomm.h"

#include "gui/core/language_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtGlobal>

#include <unistd.h>

namespace mscomm {

std::optional<LineSettings> parse_settings(const QString& text)
{
  const QStringList parts = text.split(',');
  if (parts.size() != 4)
    return std::nullopt;
  bool ok = false;
  LineSettings s;
  s.baud_rate = parts[0].trimmed().toInt(&ok);
  if (!ok || s.baud_rate <= 0)
    return std::nullopt;
  const QString parity = parts[1].trimmed().toUpper();
  if (parity.size() != 1 || !QString("NEOMS").contains(parity))
    return std::nullopt;
  s.parity = parity[0].toLatin1();
  s.data_bits = parts[2].trimmed().toInt(&ok);
  if (!ok || s.data_bits < 5 || s.data_bits > 8)
    return std::nullopt;
  s.stop_bits = parts[3].trimmed().toInt(&ok);
  if (!ok || (s.stop_bits != 1 && s.stop_bits != 2))
    return std::nullopt;
  return s;
}

QString device_path(int port_number, const std::function<QString(int)>& settings_lookup)
{
  QByteArray env = qgetenv(QString("ZOR17_COM%1").arg(port_number).toLatin1());
  if (!env.isEmpty())
    return QString::fromLocal8Bit(env);
  if (settings_lookup) {
    QString stored = settings_lookup(port_number);
    if (!stored.isEmpty())
      return stored;
  }
  return QString("/dev/ttyS%1").arg(port_number - 1);
}

LineSettings settings_for_device(const LineSettings& wanted, bool is_pseudo_terminal)
{
  if (!is_pseudo_terminal)
    return wanted;
  LineSettings s = wanted;
  s.data_bits = 8;
  s.parity = 'N';
  return s;
}

int open_error(QSerialPort::SerialPortError error, bool user_may_read_and_write)
{
  switch (error) {
  case QSerialPort::DeviceNotFoundError:
    return kInvalidPortNumber;
  case QSerialPort::PermissionError:
    return user_may_read_and_write ? kPortAlreadyOpen : kPermissionDenied;
  default:
    return kDeviceUnavailable;
  }
}

bool ends_the_line(QSerialPort::SerialPortError error)
{
  return error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError;
}

QString error_reason(int error)
{
  if (error == kLineFailed)
    return global::InLanguage("Die Verbindung zum Gerät ist abgebrochen (Adapter entfernt?)",
                              "The connection to the device was lost (adapter unplugged?)");
  if (error == kPermissionDenied)
    return global::InLanguage("Keine Berechtigung für das Gerät (Gruppe dialout?)",
                              "No permission for the device (group dialout?)");
  return QString();
}

namespace {

bool may_read_and_write(const QString& path)
{
  return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

bool is_pseudo_terminal(const QString& path)
{
  QString target = QFileInfo(path).canonicalFilePath();
  return target.startsWith("/dev/pts/") || target == "/dev/ptmx";
}

QSerialPort::Parity qt_parity(char p)
{
  switch (p) {
  case 'E':
    return QSerialPort::EvenParity;
  case 'O':
    return QSerialPort::OddParity;
  case 'M':
    return QSerialPort::MarkParity;
  case 'S':
    return QSerialPort::SpaceParity;
  default:
    return QSerialPort::NoParity;
  }
}

}  // namespace

MSComm::MSComm(std::function<QString(int)> settings_lookup) : settings_lookup_(std::move(settings_lookup))
{
  QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                   [this](QSerialPort::SerialPortError error) { port_error(error); });
}

void MSComm::port_error(QSerialPort::SerialPortError error)
{
  if (!ends_the_line(error) || !port_.isOpen() || closing_after_error_)
    return;
  // Closed once the port's own handling is over, not from within it.
  closing_after_error_ = true;
  QMetaObject::invokeMethod(
      &port_,
      [this] {
        closing_after_error_ = false;
        if (!port_.isOpen())
          return;
        port_.close();
        if (lost_)
          lost_(kLineFailed);
      },
      Qt::QueuedConnection);
}

int MSComm::SetCommPort(int number)
{
  if (port_.isOpen())
    return kPortAlreadyOpen;
  if (number < 1 || number > 255)
    return kInvalidPortNumber;
  port_number_ = number;
  return kNoError;
}

int MSComm::SetSettings(const QString& text)
{
  auto parsed = parse_settings(text);
  if (!parsed)
    return kInvalidPropertyValue;
  settings_ = *parsed;
  settings_text_ = text;
  return port_.isOpen() ? apply_settings() : kNoError;
}

int MSComm::apply_settings()
{
  effective_ = settings_for_device(settings_, is_pseudo_terminal(port_.portName()));
  bool ok = port_.setBaudRate(effective_.baud_rate) &&
            port_.setDataBits(QSerialPort::DataBits(effective_.data_bits)) &&
            port_.setParity(qt_parity(effective_.parity)) &&
            port_.setStopBits(effective_.stop_bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
            port_.setFlowControl(QSerialPort::NoFlowControl);
  return ok ? kNoError : kInvalidPropertyValue;
}

int MSComm::SetPortOpen(bool open)
{
  if (!open) {
    if (port_.isOpen())
      port_.close();
    return kNoError;
  }
  if (port_.isOpen())
    return kPortAlreadyOpen;
  const QString path = device_path(port_number_, settings_lookup_);
  port_.setPortName(path);
  if (!port_.open(QIODevice::ReadWrite))
    return open_error(port_.error(), may_read_and_write(path));
  int rc = apply_settings();
  if (rc != kNoError)
    port_.close();
  return rc;
}

int MSComm::Output(const QByteArray& bytes)
{
  if (!port_.isOpen())
    return kPortNotOpen;
  if (port_.write(bytes) != bytes.size())
    return kDeviceUnavailable;
  port_.flush();
  return kNoError;
}

int MSComm::InBufferCount()
{
  if (!port_.isOpen())
    return 0;
  port_.waitForReadyRead(0);  // takes in what the driver holds without blocking
  return int(port_.bytesAvailable());
}

QByteArray MSComm::Input()
{
  if (!port_.isOpen())
    return {};
  return port_.readAll();
}

}  // namespace mscomm

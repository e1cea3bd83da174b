#include "app/core/line/LineDiagnosis.h"

#include <algorithm>
#include <set>

#include "app/core/base/Cp1251.h"
#include "comm/lum3xProtocol.h"
#include "comm/lumModBusProtocol.h"

LineRecorder::LineRecorder(TlumCustomComPort& port) : port_(port), previous_(port.OnTrace()) {
  port_.SetOnTrace([this](TraceDirection d, std::span<const uint8_t> bytes) {
    if (d == TraceDirection::Sent)
      exchanges_.push_back({{bytes.begin(), bytes.end()}, {}});
    else if (!exchanges_.empty())
      exchanges_.back().received.insert(exchanges_.back().received.end(), bytes.begin(),
                                        bytes.end());
    if (previous_) previous_(d, bytes);
  });
}

LineRecorder::~LineRecorder() {
  port_.SetOnTrace(previous_);
}

namespace {

bool Echoed(const LineExchange& e) {
  return !e.sent.empty() && e.received.size() >= e.sent.size() &&
         std::equal(e.sent.begin(), e.sent.end(), e.received.begin());
}

std::string Join(const std::set<unsigned>& values) {
  std::string out;
  for (unsigned v : values)
    out += (out.empty() ? "" : ", ") + std::to_string(v);
  return out;
}

const char* const kEchoAdvice =
    "Включите подавление эха: флажок «Подавлять эхо» в окне задержек, [Line] Echo=1 в "
    "Calibrate.ini или --echo в командной строке.";

}  // namespace

LineCause ClassifyTraffic(const std::vector<LineExchange>& exchanges) {
  if (std::any_of(exchanges.begin(), exchanges.end(), Echoed)) return LineCause::Echo;
  for (const LineExchange& e : exchanges)
    if (!e.received.empty()) return LineCause::NoFrame;
  return LineCause::Silence;
}

LineProbe ProbeOf(const std::vector<LineExchange>& exchanges, unsigned baud, unsigned address,
                  std::string protocol) {
  LineProbe p{baud, address, std::move(protocol), ClassifyTraffic(exchanges), false, 0, {}};
  for (const LineExchange& e : exchanges) {
    p.bytesReceived += e.received.size();
    p.echoed = p.echoed || Echoed(e);
  }
  return p;
}

std::string ExplainProbes(const std::vector<LineProbe>& probes, unsigned chosenBaud,
                          bool echoSuppression) {
  std::set<unsigned> bauds, addresses, noisy;
  bool echo = false;
  size_t noise = 0;
  std::string text;
  for (const LineProbe& p : probes) {
    bauds.insert(p.baud);
    addresses.insert(p.address);
    echo = echo || p.echoed;
    if (p.cause == LineCause::NoFrame) {
      noisy.insert(p.baud);
      noise += p.bytesReceived;
    }
    if (p.cause == LineCause::Answered)
      text += "Прибор ответил (" + p.protocol + ", " + std::to_string(p.baud) + " бод, адрес " +
              std::to_string(p.address) + "): " + p.identification + "\n";
  }
  if (!text.empty()) {
    const bool atChosen = std::any_of(probes.begin(), probes.end(), [&](const LineProbe& p) {
      return p.cause == LineCause::Answered && p.baud == chosenBaud;
    });
    if (chosenBaud != 0 && !atChosen)
      text += "На выбранной скорости " + std::to_string(chosenBaud) +
              " бод прибор не ответил: выберите скорость, на которой он отвечает.\n";
    if (echo && !echoSuppression)
      text += std::string("Линия возвращает запросы (эхо). ") + kEchoAdvice + "\n";
    return text;
  }
  if (echo)
    return std::string(
               "Запрос вернулся в том виде, в каком был отправлен: это эхо "
               "двухпроводного адаптера RS-485, а ответа прибора за ним не было.\n") +
           (echoSuppression ? "Подавление эха включено; проверьте адрес и питание прибора.\n"
                            : std::string(kEchoAdvice) + "\n");
  if (!noisy.empty())
    return "Байты приходят (" + std::to_string(noise) + " байт на скорости " + Join(noisy) +
           " бод), но не складываются в ответ.\nПроверьте скорость и формат (8N1), не "
           "перепутаны ли линии A и B.\n";
  return "Линия молчит: в ответ не пришло ни одного байта.\nПробовали скорости " + Join(bauds) +
         " бод, адреса " + Join(addresses) +
         ".\nПроверьте подключение линии, питание прибора и его сетевой адрес.\n";
}

namespace {

// Our own words for each kind of failure, in Russian whatever the system's
// language; the system's text follows as it was given.
std::string OpenFailureLine(PortOpenFailure kind, const std::string& device) {
  switch (kind) {
    case PortOpenFailure::NotFound:
      return "Порта " + device + " нет в системе.\n";
    case PortOpenFailure::PermissionDenied:
      return "Нет прав на порт " + device + ".\n";
    case PortOpenFailure::Busy:
      return "Порт " + device + " занят другой программой.\n";
    default:
      return "Порт " + device + " не открылся.\n";
  }
}

// Joining the device's group helps only when the group may read and write
// it; otherwise the node's mode must change, for good through a udev rule.
std::string PermissionAdvice(const std::string& group, const std::string& device) {
#ifdef _WIN32
  (void)group;
  (void)device;
  return "Запустите программу от имени пользователя, которому разрешён этот порт.\n";
#else
  if (!group.empty())
    return "Добавьте пользователя в группу " + group + " (sudo usermod -aG " + group +
           " $USER) и войдите в систему заново.\n";
  return "Права устройства не пускают ни одну группу. Разрешите чтение и запись группе dialout: "
         "sudo chgrp dialout " +
         device + " && sudo chmod 660 " + device +
         " (действует до отключения адаптера), а насовсем — правилом udev, например строкой\n"
         "  KERNEL==\"ttyUSB[0-9]*\", GROUP=\"dialout\", MODE=\"0660\"\n"
         "в файле /etc/udev/rules.d/50-serial.rules; затем добавьте пользователя в группу "
         "dialout.\n";
#endif
}

}  // namespace

std::string ExplainOpenFailure(const PortOpenError& error, const std::string& device,
                               const std::vector<SerialDeviceInfo>& existing,
                               const std::vector<std::string>& holders) {
  std::string text = OpenFailureLine(error.kind, device);
  if (!error.systemText.empty()) text += "Система: " + error.systemText + "\n";
  switch (error.kind) {
    case PortOpenFailure::NotFound:
      if (existing.empty()) return text + "Последовательных портов не найдено.\n";
      text += "Есть порты:\n";
      for (const SerialDeviceInfo& d : existing)
        text += "  " + d.name + (d.description.empty() ? "" : " (" + d.description + ")") + "\n";
      return text;
    case PortOpenFailure::PermissionDenied:
      return text + PermissionAdvice(error.group, device);
    case PortOpenFailure::Busy:
      for (const std::string& h : holders)
        text += "  его держит процесс " + h + "\n";
      return text + "Закройте её и повторите.\n";
    default:
      return text + "Проверьте, что " + device + " — последовательный порт.\n";
  }
}

std::string UnsupportedMeterText(const std::string& identification) {
  std::string name = Cp1251ToUtf8(identification);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
    name.pop_back();
  return "Прибор ответил: " + name + " — чтение этой модели не поддерживается.\n";
}

std::string ExplainOpenFailure(const TlumCustomComPort& port) {
  const PortOpenError& e = port.OpenError();
  const std::string device = port.DeviceName();
  return ExplainOpenFailure(
      e, device,
      e.kind == PortOpenFailure::NotFound ? ListSerialDevices() : std::vector<SerialDeviceInfo>{},
      e.kind == PortOpenFailure::Busy ? PortHolders(device) : std::vector<std::string>{});
}

namespace {

// One identification in one protocol, with what the line did meanwhile.
template <class Engine>
LineProbe Probe(Engine& engine, TlumComPort& port, unsigned baud, unsigned address,
                const char* protocol) {
  engine.SetComPort(&port);
  engine.SetNetAddr(static_cast<uint8_t>(address));
  engine.SetRepeatCount(1);
  std::string id;
  const LineRecorder recorder(port);
  engine.GetDevID(id);
  LineProbe p = ProbeOf(recorder.Exchanges(), baud, address, protocol);
  if (engine.LastError() == 0 && !id.empty()) {
    p.cause = LineCause::Answered;
    p.identification = Cp1251ToUtf8(id);
  }
  return p;
}

}  // namespace

LineDiagnosis DiagnoseLine(TlumComPort& port, const DiagnoseRequest& request) {
  LineDiagnosis d;
  Tlum3xProtocol threeX;
  TlumModBusProtocol modbus;
  threeX.SetEchoSuppression(request.echoSuppression);
  modbus.SetEchoSuppression(request.echoSuppression);
  for (unsigned baud : request.bauds) {
    port.SetBaudRate(baud);
    if (!port.Open()) {
      d.openFailure = ExplainOpenFailure(port);
      d.text = kPortOpenError + port.DeviceName() + "\n" + d.openFailure;
      return d;
    }
    d.portOpened = true;
    for (unsigned address : request.addresses) {
      d.probes.push_back(Probe(threeX, port, baud, address, "3x"));
      d.probes.push_back(Probe(modbus, port, baud, address, "ModBus"));
    }
    port.Close();
  }
  d.text = ExplainProbes(d.probes, 0, request.echoSuppression);
  return d;
}

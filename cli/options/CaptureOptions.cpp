#include "CaptureOptions.h"

#include "Validators.h"

void AddCaptureOptions(Declaration& d, LineOptions& o) {
  d.App()
      .add_option_function<std::string>(
          "--pcap", [&o](const std::string& file) { o.pcap = file; },
          "записать обмен на линии в файл pcapng (для Wireshark)")
      ->type_name("FILE")
      ->check(Valued("--pcap"));
}

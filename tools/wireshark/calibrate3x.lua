-- Wireshark dissector for the 3x protocol of the ZFK and GDZ flow meters, as
-- Calibrate captures it (calibrate-cli --pcap FILE, the service window's
-- "Обмен" view): link type 148, LINKTYPE_USER1.
--
-- Request: 55 addr ~addr group command L data[L] sum
-- Reply:   AA addr ~addr group command L data[L] sum
-- sum is the bitwise NOT of the 8-bit sum of every byte before it. Bytes that
-- made no frame on the line (noise, a reply cut short) come as packets of
-- their own and are shown as such.
--
-- Put this file into Wireshark's personal Lua plugins folder
-- (~/.local/lib/wireshark/plugins on Linux, %APPDATA%\Wireshark\plugins on
-- Windows) or load it with  tshark -X lua_script:calibrate3x.lua

local p3x = Proto("calibrate3x", "Calibrate 3x")

local kinds = { [0x55] = "запрос", [0xAA] = "ответ" }
local checks = { [0] = "Bad", [1] = "Good", [2] = "Unverified" }

-- The command set: group * 256 + command. A memory write is its read with
-- the command's high bit set.
local commands = {
  [0x0000] = "идентификация",
  [0x0001] = "версия ПО",
  [0x0C00] = "текущие значения",
  [0x0C01] = "чтение ОЗУ",
  [0x0C81] = "запись ОЗУ",
  [0x0E10] = "запись Gmax к.1",
  [0x0E11] = "запись Gmax к.2",
  [0x0F01] = "чтение Rtc2k",
  [0x0F81] = "запись Rtc2k",
  [0x0F02] = "чтение Rtc128",
  [0x0F82] = "запись Rtc128",
  [0x0F03] = "чтение DataFlash",
  [0x0F91] = "запись защиты",
  [0x0F93] = "чтение защиты",
  [0x0FF1] = "разрешение записи",
}

local f = {
  start = ProtoField.uint8("calibrate3x.start", "Стартовый байт", base.HEX, kinds),
  addr = ProtoField.uint8("calibrate3x.addr", "Адрес", base.DEC),
  complement = ProtoField.uint8("calibrate3x.addr_complement", "Дополнение адреса", base.HEX),
  group = ProtoField.uint8("calibrate3x.group", "Группа", base.HEX),
  command = ProtoField.uint8("calibrate3x.command", "Команда", base.HEX),
  name = ProtoField.string("calibrate3x.name", "Название команды"),
  length = ProtoField.uint8("calibrate3x.length", "Длина данных", base.DEC),
  data = ProtoField.bytes("calibrate3x.data", "Данные"),
  checksum = ProtoField.uint8("calibrate3x.checksum", "Контрольная сумма", base.HEX),
  status = ProtoField.uint8("calibrate3x.checksum.status", "Контрольная сумма: состояние",
                            base.DEC, checks),
  noframe = ProtoField.bytes("calibrate3x.noframe", "Байты вне кадра"),
}
p3x.fields = { f.start, f.addr, f.complement, f.group, f.command, f.name, f.length, f.data,
               f.checksum, f.status, f.noframe }

local e_complement = ProtoExpert.new("calibrate3x.complement_wrong", "Дополнение адреса неверно",
                                     expert.group.MALFORMED, expert.severity.ERROR)
local e_checksum = ProtoExpert.new("calibrate3x.checksum_bad", "Контрольная сумма неверна",
                                   expert.group.CHECKSUM, expert.severity.ERROR)
local e_noframe = ProtoExpert.new("calibrate3x.noframe_bytes", "Байты, из которых не сложился кадр",
                                  expert.group.MALFORMED, expert.severity.WARN)
p3x.experts = { e_complement, e_checksum, e_noframe }

local function checksum(tvb, n)
  local sum = 0
  for i = 0, n - 1 do sum = (sum + tvb(i, 1):uint()) % 256 end
  return 255 - sum
end

local function is_frame(tvb)
  local n = tvb:len()
  if n < 7 then return false end
  local s = tvb(0, 1):uint()
  return (s == 0x55 or s == 0xAA) and n == tvb(5, 1):uint() + 7
end

function p3x.dissector(tvb, pinfo, tree)
  pinfo.cols.protocol = "3x"
  local n = tvb:len()
  if not is_frame(tvb) then
    local t = tree:add(p3x, tvb(), "Calibrate 3x, байты вне кадра")
    t:add(f.noframe, tvb()):add_proto_expert_info(e_noframe)
    pinfo.cols.info = "вне кадра, " .. n .. " байт"
    return n
  end
  local t = tree:add(p3x, tvb(), "Calibrate 3x")
  t:add(f.start, tvb(0, 1))
  local addr = tvb(1, 1):uint()
  t:add(f.addr, tvb(1, 1))
  local c = t:add(f.complement, tvb(2, 1))
  if tvb(2, 1):uint() ~= 255 - addr then c:add_proto_expert_info(e_complement) end
  local code = tvb(3, 1):uint() * 256 + tvb(4, 1):uint()
  local name = commands[code] or "неизвестная команда"
  t:add(f.group, tvb(3, 1))
  t:add(f.command, tvb(4, 1))
  t:add(f.name, tvb(3, 2), name)
  local len = tvb(5, 1):uint()
  t:add(f.length, tvb(5, 1))
  if len > 0 then t:add(f.data, tvb(6, len)) end
  local good = tvb(n - 1, 1):uint() == checksum(tvb, n - 1)
  t:add(f.checksum, tvb(n - 1, 1))
  local s = t:add(f.status, tvb(n - 1, 1), good and 1 or 0)
  s:set_generated()
  if not good then s:add_proto_expert_info(e_checksum) end
  pinfo.cols.info = string.format("%s, адрес %d, %s, %d байт данных%s",
                                  kinds[tvb(0, 1):uint()], addr, name, len,
                                  good and "" or " [сумма неверна]")
  return n
end

DissectorTable.get("wtap_encap"):add(wtap.USER1, p3x)

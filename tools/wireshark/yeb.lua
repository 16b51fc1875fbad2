-- Dissector for the stress tool's data stream to the YEB.
--
-- One TCP connection carries, from the tool to the YEB:
--   Custom source:  the greeting (0x01, then a 32-bit zero), then fixed-size
--                   packets: a 32-byte header (size word, sequence number
--                   twice, five zero words), the day pair, the time pairs,
--                   the value pairs and a zero tail;
--   NEP source:     packets of a length word, time entries (tag word with the
--                   top bit set, 64-bit nanoseconds) and value entries;
--   playback:       the greeting, then recorded records: a 32-byte header
--                   (size word, five words, a time stamp in 100 us, one word)
--                   and a body that is shown as bytes only.
-- All fields are little-endian. Every unit starts with a word that says how
-- many bytes follow it, which is all the TCP reassembly needs.
--
-- Load:  tshark -X lua_script:tools/wireshark/yeb.lua ...
--        or copy the file into the personal Lua plugins folder.
--
-- The checks (expert info) need the units of one connection in order, so
-- they are worked out on the first pass and kept per unit, keyed by what the
-- unit says about itself (see unit_key); later passes only show them.

local yeb = Proto("yeb", "YEB Stress Tool Stream")

local KIND_AUTO, KIND_CUSTOM, KIND_NEP, KIND_PLAYBACK = 0, 1, 2, 3
local kind_names = { [KIND_CUSTOM] = "Custom", [KIND_NEP] = "NEP", [KIND_PLAYBACK] = "Playback" }

local DEFAULT_PORT = 49000
-- A size word beyond this is taken for garbage rather than waited for: the
-- tool's largest packet is far below it, and the playback reader refuses
-- larger records too.
local MAX_UNIT_BYTES = 256 * 1024 * 1024
local CUSTOM_HEADER = 32
local PAIR = 12
local NEP_TIME_TAG_BIT = 0x80000000
local NEP_TIME_STEP_NS = 100000
local ONE_DAY_NS = 86400000000000
local TICK_NS = 100000            -- one Custom time word or playback stamp unit
local PLAYBACK_BASE_NS = 14 * ONE_DAY_NS

yeb.prefs.port = Pref.uint("TCP port", DEFAULT_PORT,
  "The port the stress tool listens on (use Decode As for any other)")
yeb.prefs.kind = Pref.enum("Stream kind", KIND_AUTO,
  "What the stream carries; Automatic tells it from the first unit after the greeting",
  { { 1, "Automatic", KIND_AUTO }, { 2, "Custom", KIND_CUSTOM },
    { 3, "NEP", KIND_NEP }, { 4, "Playback", KIND_PLAYBACK } }, false)
yeb.prefs.prn = Pref.string("PRN list", "",
  "Path of the zarnYEB.prn the tool wrote; names the Custom tags")
yeb.prefs.nep_xml = Pref.string("NEP XML list", "",
  "Path of the NEP.xml the tool wrote; names the NEP tags")

local f = {
  greeting     = ProtoField.bytes("yeb.greeting", "Greeting"),
  size         = ProtoField.uint32("yeb.size", "Size word (bytes after it)"),
  sequence     = ProtoField.uint32("yeb.sequence", "Sequence number"),
  sequence2    = ProtoField.uint32("yeb.sequence_copy", "Sequence number (copy)"),
  reserved     = ProtoField.bytes("yeb.reserved", "Reserved words"),
  pair         = ProtoField.bytes("yeb.pair", "Pair"),
  tag          = ProtoField.uint16("yeb.tag", "Tag"),
  day          = ProtoField.uint32("yeb.day", "Day word"),
  time         = ProtoField.uint32("yeb.time", "Time word (100 us)"),
  value        = ProtoField.float("yeb.value", "Value"),
  param        = ProtoField.string("yeb.param", "Parameter"),
  data_time    = ProtoField.string("yeb.data_time", "Data time"),
  time_pairs   = ProtoField.uint32("yeb.time_pairs", "Time pairs"),
  value_pairs  = ProtoField.uint32("yeb.value_pairs", "Value pairs"),
  tail         = ProtoField.bytes("yeb.tail", "Zero tail"),
  nep_length   = ProtoField.uint32("yeb.nep.length", "Length word (bytes after it)"),
  nep_entry    = ProtoField.bytes("yeb.nep.entry", "Entry"),
  nep_time_tag = ProtoField.uint32("yeb.nep.time_tag", "Time tag word", base.HEX),
  nep_time     = ProtoField.uint64("yeb.nep.time", "Time (ns)"),
  nep_tag      = ProtoField.int32("yeb.nep.tag", "Tag"),
  nep_times    = ProtoField.uint32("yeb.nep.time_entries", "Time entries"),
  nep_values   = ProtoField.uint32("yeb.nep.value_entries", "Value entries"),
  pb_size      = ProtoField.uint32("yeb.playback.size", "Size word (bytes after it)"),
  pb_words     = ProtoField.bytes("yeb.playback.words", "Header words 1-5"),
  pb_stamp     = ProtoField.int32("yeb.playback.stamp", "Time stamp (100 us)"),
  pb_word7     = ProtoField.uint32("yeb.playback.word7", "Header word 7", base.HEX),
  pb_body      = ProtoField.bytes("yeb.playback.body", "Body"),
}
yeb.fields = f

local e = {
  sequence = ProtoExpert.new("yeb.expert.sequence", "Sequence number does not follow the previous one",
                             expert.group.SEQUENCE, expert.severity.WARN),
  copy     = ProtoExpert.new("yeb.expert.sequence_copy", "Sequence copy differs",
                             expert.group.MALFORMED, expert.severity.WARN),
  time     = ProtoExpert.new("yeb.expert.time", "Time word does not continue",
                             expert.group.SEQUENCE, expert.severity.WARN),
  size     = ProtoExpert.new("yeb.expert.size", "Packet size differs from the first",
                             expert.group.PROTOCOL, expert.severity.WARN),
  tail     = ProtoExpert.new("yeb.expert.tail", "Tail is not zero",
                             expert.group.MALFORMED, expert.severity.WARN),
  bad      = ProtoExpert.new("yeb.expert.bad_length", "Size word out of range",
                             expert.group.MALFORMED, expert.severity.ERROR),
}
yeb.experts = { e.sequence, e.copy, e.time, e.size, e.tail, e.bad }

local tcp_stream = Field.new("tcp.stream")

---------------------------------------------------------------------------
-- Parameter lists: tag -> name.

local custom_names, nep_names = {}, {}

local function read_file(path)
  if path == nil or path == "" then return nil end
  local file = io.open(path, "rb")
  if not file then return nil end
  local text = file:read("*a")
  file:close()
  return text
end

-- "tag name rate type [attribute]" per line.
local function load_prn(path)
  local names = {}
  local text = read_file(path)
  if text then
    for line in text:gmatch("[^\r\n]+") do
      local tag, name = line:match("^%s*(%d+)%s+(%S+)")
      if tag then names[tonumber(tag) % 65536] = name end
    end
  end
  return names
end

-- One "parameter-attributes" block per parameter: its name and tag-number.
-- NEP tags are kept as the unsigned 32-bit word the packets carry.
local function load_nep_xml(path)
  local names = {}
  local text = read_file(path)
  if text then
    for block in text:gmatch("<parameter%-attributes.-</parameter%-attributes>") do
      local name = block:match("<parameter[%s>][^>]*>%s*<!%[CDATA%[(.-)%]%]>")
                   or block:match("<parameter[%s>][^>]*>%s*([^<]-)%s*</parameter>")
      local tag = block:match("<tag%-number>%s*(%-?%d+)%s*</tag%-number>")
      if name and tag then names[tonumber(tag) % 4294967296] = name end
    end
  end
  return names
end

---------------------------------------------------------------------------
-- Time text, "ddd:hh:mm:ss.mmm" as the tool prints it. `ns` is a UInt64 or a
-- Lua number that is a whole count of nanoseconds.

local UDAY = UInt64(ONE_DAY_NS)

local function time_text(ns)
  local days, rest
  if type(ns) == "number" then
    days = math.floor(ns / ONE_DAY_NS)
    rest = ns - days * ONE_DAY_NS
  else
    days = (ns / UDAY):tonumber()
    rest = (ns % UDAY):tonumber()
  end
  -- The day field shows the low 32 bits of the day count, as a signed number.
  local day_field = days % 4294967296
  if day_field >= 2147483648 then day_field = day_field - 4294967296 end
  local seconds_total = math.floor(rest / 1000000000)
  local ms = math.floor((rest % 1000000000) / 1000000)
  return string.format("%03d:%02d:%02d:%02d.%03d", day_field,
                       math.floor(seconds_total / 3600) % 24,
                       math.floor(seconds_total / 60) % 60, seconds_total % 60, ms)
end

---------------------------------------------------------------------------
-- Per-connection state, built on the first pass.

local streams = {}   -- tcp.stream -> { kind, prev_seq, prev_time, first_size }
local checks = {}    -- unit_key -> list of { expert, text, offset in the unit }

function yeb.init()
  streams, checks = {}, {}
  custom_names = load_prn(yeb.prefs.prn)
  nep_names = load_nep_xml(yeb.prefs.nep_xml)
end

local function stream_state(pinfo)
  local id = tcp_stream()
  local key = id and id.value or (tostring(pinfo.src) .. ":" .. pinfo.src_port)
  local s = streams[key]
  if not s then
    s = {}
    streams[key] = s
  end
  return s, key
end

-- A key that names one unit across passes: the connection and what the unit
-- itself carries. Counting units per frame would not do, because the TCP
-- layer calls us several times for one frame, with reassembled and plain
-- data, and the GUI calls again for whichever frame is clicked.
local function unit_key(stream_key, tvb, offset, length)
  local head = tvb(offset, math.min(length, 48)):bytes():tohex()
  return stream_key .. "/" .. length .. "/" .. head
end

-- Classifies the unit at `offset` in a stream of unknown kind.
local function guess_kind(tvb, offset)
  if tvb:len() - offset >= 8 and tvb(offset + 4, 4):le_uint() == 0x80000001 then
    return KIND_NEP
  end
  local s1, s2 = tvb(offset + 4, 4):le_uint(), tvb(offset + 8, 4):le_uint()
  if s1 ~= s2 then return KIND_PLAYBACK end
  for at = 12, 28, 4 do
    if tvb(offset + at, 4):le_uint() ~= 0 then return KIND_PLAYBACK end
  end
  return KIND_CUSTOM
end

local function is_greeting(tvb, offset)
  return tvb(offset, 1):uint() == 1 and tvb(offset + 1, 4):uint() == 0
end

-- The Info column lists every unit of a frame. TCP hands us one frame in
-- several calls (reassembled data, then the rest), so the column is cleared
-- only by the first call for a frame.
local info_frame = nil

local function add_info(pinfo, text)
  if info_frame ~= pinfo.number then
    info_frame = pinfo.number
    pinfo.cols.info:set(text)
  else
    pinfo.cols.info:append(", " .. text)
  end
end

---------------------------------------------------------------------------
-- Custom packet.

local function custom_pair_ints(tree, tvb, at, label, field, name_of, note)
  local t1, t2 = tvb(at, 2):le_uint(), tvb(at + 2, 2):le_uint()
  local v1, v2 = tvb(at + 4, 4):le_uint(), tvb(at + 8, 4):le_uint()
  local item = tree:add(f.pair, tvb(at, PAIR))
  item:set_text(string.format("%s: tags %u, %u; %u, %u%s", label, t1, t2, v1, v2, note or ""))
  item:add_le(f.tag, tvb(at, 2))
  item:add_le(f.tag, tvb(at + 2, 2))
  local w1 = item:add_le(field, tvb(at + 4, 4))
  local w2 = item:add_le(field, tvb(at + 8, 4))
  local name = name_of[t1]
  if name then item:add(f.param, name):set_generated() end
  return item, w1, w2, v1, v2
end

local function dissect_custom(tvb, pinfo, tree, offset, length, state, found)
  local size_word = tvb(offset, 4):le_uint()
  local seq = tvb(offset + 4, 4):le_uint()
  local copy = tvb(offset + 8, 4):le_uint()
  tree:add_le(f.size, tvb(offset, 4))
  local seq_item = tree:add_le(f.sequence, tvb(offset + 4, 4))
  tree:add_le(f.sequence2, tvb(offset + 8, 4))
  tree:add(f.reserved, tvb(offset + 12, 20))

  if found then
    if copy ~= seq then
      found[#found + 1] = { e.copy, string.format("Sequence copy %u differs from %u", copy, seq), 8 }
    end
    if state.prev_seq and seq ~= (state.prev_seq + 1) % 4294967296 then
      found[#found + 1] = { e.sequence, string.format(
        "Sequence number %u does not follow %u", seq, state.prev_seq), 4 }
    end
    state.prev_seq = seq
    if not state.first_size then
      state.first_size = size_word
    elseif size_word ~= state.first_size then
      found[#found + 1] = { e.size, string.format(
        "Size word %u differs from the first packet's %u", size_word, state.first_size), 0 }
    end
  end

  local limit = offset + length
  if length < CUSTOM_HEADER + PAIR then return seq_item, nil end
  local at = offset + CUSTOM_HEADER
  local day_tag = tvb(at, 2):le_uint()
  custom_pair_ints(tree, tvb, at, "Day pair", f.day, custom_names)
  at = at + PAIR

  local time_tag = (day_tag + 1) % 65536
  local time_tree = tree:add(yeb, tvb(at, 0), "Time pairs")
  local first_time, pairs = nil, 0
  local expected = found and state.prev_time and (state.prev_time + 1) % 4294967296
  while at + PAIR <= limit and tvb(at, 2):le_uint() == time_tag
        and tvb(at + 2, 2):le_uint() == time_tag do
    local v1, v2 = tvb(at + 4, 4):le_uint(), tvb(at + 8, 4):le_uint()
    local text1 = time_text(ONE_DAY_NS + v1 * TICK_NS)
    local _, w1, w2 = custom_pair_ints(time_tree, tvb, at, "Time pair", f.time, custom_names,
                                       " (" .. text1 .. ")")
    w1:append_text(" (" .. text1 .. ")")
    w2:append_text(" (" .. time_text(ONE_DAY_NS + v2 * TICK_NS) .. ")")
    first_time = first_time or v1
    if found then
      if expected and v1 ~= expected then
        found[#found + 1] = { e.time, string.format(
          "Time word %u does not continue from %u", v1, (expected - 1) % 4294967296), at - offset + 4 }
      elseif v2 ~= (v1 + 1) % 4294967296 then
        found[#found + 1] = { e.time, string.format(
          "Time word %u does not continue from %u", v2, v1), at - offset + 8 }
      end
      expected = (v2 + 1) % 4294967296
      state.prev_time = v2
    end
    pairs = pairs + 1
    at = at + PAIR
  end
  time_tree:set_len(pairs * PAIR)
  time_tree:append_text(string.format(": %u", pairs))
  tree:add(f.time_pairs, pairs):set_generated()
  if first_time then
    tree:add(f.data_time, time_text(ONE_DAY_NS + first_time * TICK_NS)):set_generated()
  end

  -- Value pairs run until a pair whose first tag is 0: the builder never
  -- starts a pair with tag 0, so that is where the zero tail begins.
  local value_tree = tree:add(yeb, tvb(at, 0), "Value pairs")
  local values = 0
  while at + PAIR <= limit and tvb(at, 2):le_uint() ~= 0 do
    local t1, t2 = tvb(at, 2):le_uint(), tvb(at + 2, 2):le_uint()
    local v1, v2 = tvb(at + 4, 4):le_float(), tvb(at + 8, 4):le_float()
    local item = value_tree:add(f.pair, tvb(at, PAIR))
    local n1 = custom_names[t1] or ("tag " .. t1)
    local n2 = custom_names[t2] or ("tag " .. t2)
    item:set_text(string.format("Value pair: %s = %g, %s = %g", n1, v1, n2, v2))
    for half = 0, 1 do
      local tag = half == 0 and t1 or t2
      item:add_le(f.tag, tvb(at + 2 * half, 2))
      if custom_names[tag] then item:add(f.param, custom_names[tag]):set_generated() end
      item:add_le(f.value, tvb(at + 4 + 4 * half, 4))
    end
    values = values + 1
    at = at + PAIR
  end
  value_tree:set_len(values * PAIR)
  value_tree:append_text(string.format(": %u", values))
  tree:add(f.value_pairs, values):set_generated()

  if at < limit then
    local tail = tvb(at, limit - at)
    tree:add(f.tail, tail)
    if found then
      local bytes = tail:bytes()
      for i = 0, bytes:len() - 1 do
        if bytes:get_index(i) ~= 0 then
          found[#found + 1] = { e.tail, string.format(
            "Tail byte at offset %u is not zero", at - offset + i), at - offset + i }
          break
        end
      end
    end
  end
  add_info(pinfo, string.format("Custom seq=%u size=%u", seq, length))
end

---------------------------------------------------------------------------
-- NEP packet.

local function dissect_nep(tvb, pinfo, tree, offset, length, state, found)
  tree:add_le(f.nep_length, tvb(offset, 4))
  local limit = offset + length
  local at = offset + 4
  local times, values = 0, 0
  local expected = found and state.prev_ns and state.prev_ns + NEP_TIME_STEP_NS
  local time_tree = tree:add(yeb, tvb(at, 0), "Time entries")
  local first_ns
  while at + 12 <= limit and tvb(at, 4):le_uint() >= NEP_TIME_TAG_BIT do
    local tag_word = tvb(at, 4):le_uint()
    local ns = tvb(at + 4, 8):le_uint64()
    local text = time_text(ns)
    local item = time_tree:add(f.nep_entry, tvb(at, 12))
    local name = nep_names[tag_word - NEP_TIME_TAG_BIT]
    item:set_text(string.format("Time entry: %s ns (%s)", tostring(ns), text))
    item:add_le(f.nep_time_tag, tvb(at, 4))
    if name then item:add(f.param, name):set_generated() end
    item:add_le(f.nep_time, tvb(at + 4, 8)):append_text(" (" .. text .. ")")
    first_ns = first_ns or ns
    if found then
      if expected and ns ~= expected then
        found[#found + 1] = { e.time, string.format("Time %s ns does not continue from %s ns",
          tostring(ns), tostring(expected - NEP_TIME_STEP_NS)), at - offset + 4 }
      end
      expected = ns + NEP_TIME_STEP_NS
      state.prev_ns = ns
    end
    times = times + 1
    at = at + 12
  end
  time_tree:set_len(times * 12)
  time_tree:append_text(string.format(": %u", times))
  tree:add(f.nep_times, times):set_generated()
  if first_ns then tree:add(f.data_time, time_text(first_ns)):set_generated() end

  local value_tree = tree:add(yeb, tvb(at, 0), "Value entries")
  while at + 8 <= limit do
    local tag = tvb(at, 4):le_uint()
    local name = nep_names[tag]
    local item = value_tree:add(f.nep_entry, tvb(at, 8))
    item:set_text(string.format("Value entry: %s = %g", name or ("tag " .. tvb(at, 4):le_int()),
                                tvb(at + 4, 4):le_float()))
    item:add_le(f.nep_tag, tvb(at, 4))
    if name then item:add(f.param, name):set_generated() end
    item:add_le(f.value, tvb(at + 4, 4))
    values = values + 1
    at = at + 8
  end
  value_tree:set_len(values * 8)
  value_tree:append_text(string.format(": %u", values))
  tree:add(f.nep_values, values):set_generated()
  if at < limit then tree:add(f.tail, tvb(at, limit - at)) end
  add_info(pinfo, string.format("NEP size=%u times=%u values=%u", length, times, values))
end

---------------------------------------------------------------------------
-- Playback record: the header only.

local function dissect_playback(tvb, pinfo, tree, offset, length)
  tree:add_le(f.pb_size, tvb(offset, 4))
  tree:add(f.pb_words, tvb(offset + 4, 20))
  local stamp = tvb(offset + 24, 4):le_int()
  local text = time_text(PLAYBACK_BASE_NS + stamp * TICK_NS)
  tree:add_le(f.pb_stamp, tvb(offset + 24, 4)):append_text(" (" .. text .. ")")
  tree:add_le(f.pb_word7, tvb(offset + 28, 4))
  tree:add(f.data_time, text):set_generated()
  if length > 32 then tree:add(f.pb_body, tvb(offset + 32, length - 32)) end
  add_info(pinfo, string.format("Playback stamp=%d size=%u", stamp, length))
end

---------------------------------------------------------------------------

local function dissect_unit(tvb, pinfo, root, offset, length, kind, state, skey)
  local tree = root:add(yeb, tvb(offset, length))
  tree:append_text(", " .. kind_names[kind])
  -- On the first pass the checks run and are kept; afterwards they are shown
  -- from what was kept, as the stream state has moved on.
  local key = unit_key(skey, tvb, offset, length)
  local found = nil
  if not pinfo.visited then found = {} end
  if kind == KIND_CUSTOM then
    dissect_custom(tvb, pinfo, tree, offset, length, state, found)
  elseif kind == KIND_NEP then
    dissect_nep(tvb, pinfo, tree, offset, length, state, found)
  else
    dissect_playback(tvb, pinfo, tree, offset, length)
  end
  if found then checks[key] = found end
  for _, c in ipairs(checks[key] or {}) do
    local span = math.min(4, length - c[3])
    tree:add_tvb_expert_info(c[1], tvb(offset + c[3], span), c[2])
  end
end

function yeb.dissector(tvb, pinfo, root)
  local total = tvb:len()
  if total == 0 then return 0 end
  pinfo.cols.protocol = "YEB"
  local state, skey = stream_state(pinfo)
  local offset = 0
  while offset < total do
    local left = total - offset
    if left < 5 then
      pinfo.desegment_offset = offset
      pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
      return total
    end
    if yeb.prefs.kind ~= KIND_NEP and is_greeting(tvb, offset) then
      local tree = root:add(yeb, tvb(offset, 5))
      tree:append_text(", Greeting")
      tree:add(f.greeting, tvb(offset, 5))
      add_info(pinfo, "Greeting")
      offset = offset + 5
    else
      local size_word = tvb(offset, 4):le_uint()
      local length = size_word + 4
      local kind = yeb.prefs.kind ~= KIND_AUTO and yeb.prefs.kind or state.kind
      local minimum = (kind == KIND_NEP) and 4 or CUSTOM_HEADER
      if size_word > MAX_UNIT_BYTES or length < minimum then
        local tree = root:add(yeb, tvb(offset, left))
        tree:add_le(f.size, tvb(offset, 4))
        tree:add_tvb_expert_info(e.bad, tvb(offset, 4), string.format(
          "Size word %u is out of range; the rest of this segment is not decoded", size_word))
        return total
      end
      if left < length then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = length - left
        return total
      end
      if not kind then
        kind = guess_kind(tvb, offset)
        if not pinfo.visited then state.kind = kind end
      end
      dissect_unit(tvb, pinfo, root, offset, length, kind, state, skey)
      offset = offset + length
    end
  end
  return total
end

---------------------------------------------------------------------------
-- Registration: the port from the preferences, and Decode As for any other.

local tcp_port = DissectorTable.get("tcp.port")
local registered_port = nil

local function register_port()
  if registered_port then tcp_port:remove(registered_port, yeb) end
  registered_port = yeb.prefs.port
  if registered_port ~= 0 then tcp_port:add(registered_port, yeb) end
end

function yeb.prefs_changed()
  register_port()
  custom_names = load_prn(yeb.prefs.prn)
  nep_names = load_nep_xml(yeb.prefs.nep_xml)
end

tcp_port:add_for_decode_as(yeb)
register_port()

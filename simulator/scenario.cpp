#include "simulator/scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace vqsim {

namespace {

using json = nlohmann::json;

constexpr std::size_t max_file_bytes = 4u << 20;
constexpr std::size_t max_text = 255;
constexpr std::uint64_t max_ms = 86400000; // a day

const char* const operation_names[] = {
    "initialize", "uninitialize", "destroy_instance", "register_logger_callback",
    "register_notification_callback", "unregister_logger_callback", "unregister_notification_callback",
    "get_sensor_list", "open_sensor", "close_sensor", "close_all_sensor", "usbReboot", "usbReboot_blocking",
    "read_serial_number", "get_device_descriptor", "read_pia", "get_capture_param", "set_capture_params",
    "set_ihm_request", "start_asynchronous_capture", "stop_asynchronous_capture", "read_fpn_data_black",
    "read_fpn_data_white"};

// The operations that fault rules may name.
bool is_operation(const std::string& name)
{
    return std::find(std::begin(operation_names), std::end(operation_names), name) != std::end(operation_names);
}

std::string pointer_token(const std::string& key)
{
    std::string token;
    for (char c : key) token += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return token;
}

// A parsed document that knows where each of its keys and values begins, by JSON pointer, so that
// what is wrong with a value can be shown at its line and column.
class Document {
public:
    Document(std::string origin, std::string text) : origin_(std::move(origin)), text_(std::move(text))
    {
        std::istringstream in(text_);
        struct Level {
            bool array = false;
            std::size_t index = 0;
            std::string key;
            std::set<std::string> keys;
        };
        std::vector<Level> levels;
        const auto path = [&] {
            std::string pointer;
            for (const Level& level : levels)
                pointer += "/" + (level.array ? std::to_string(level.index) : pointer_token(level.key));
            return pointer;
        };
        const auto read_so_far = [&] {
            auto position = in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
            return position < 0 ? text_.size() : static_cast<std::size_t>(position);
        };
        const auto next_element = [&] {
            if (!levels.empty() && levels.back().array) ++levels.back().index;
        };
        const auto callback = [&](int, json::parse_event_t event, json& parsed) {
            switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                value_at_[path()] = token_start(read_so_far());
                levels.emplace_back();
                levels.back().array = event == json::parse_event_t::array_start;
                break;
            case json::parse_event_t::key: {
                Level& level = levels.back();
                level.key = parsed.get<std::string>();
                const std::size_t at = token_start(read_so_far());
                if (!level.keys.insert(level.key).second)
                    fail_at(at, "the key \"" + level.key + "\" appears twice in one object");
                key_at_[path()] = at;
                break;
            }
            case json::parse_event_t::value:
                value_at_[path()] = token_start(read_so_far());
                next_element();
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                levels.pop_back();
                next_element();
                break;
            }
            return true;
        };
        try {
            root_ = json::parse(in, callback);
        } catch (const json::parse_error& error) {
            // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..."
            std::string what = error.what();
            const std::size_t colon = what.find(": ");
            what = colon == std::string::npos ? what : what.substr(colon + 2);
            fail_at(error.byte > 0 ? error.byte - 1 : 0, what);
        }
    }

    const json& root() const { return root_; }
    const std::string& origin() const { return origin_; }

    // What is wrong with the value at the pointer (or with its key), shown where it stands.
    [[noreturn]] void fail(const std::string& pointer, const std::string& what, bool at_key = false) const
    {
        std::size_t at = 0;
        if (auto key = key_at_.find(pointer); at_key && key != key_at_.end())
            at = key->second;
        else if (auto value = value_at_.find(pointer); value != value_at_.end())
            at = value->second;
        fail_at(at, what);
    }

    [[noreturn]] void fail_at(std::size_t offset, const std::string& what) const
    {
        offset = std::min(offset, text_.size());
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < offset; ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw ScenarioError("VQUAD stand-in: " + origin_ + ":" + std::to_string(line) + ":" + std::to_string(column) +
                            ": " + what);
    }

private:
    // The parser reports after a token; for a number it has read one character more.
    std::size_t token_start(std::size_t end) const
    {
        std::size_t at = std::min(end, text_.size());
        const auto is = [&](std::size_t i, const char* set) {
            return text_[i] != '\0' && std::strchr(set, text_[i]) != nullptr;
        };
        while (at > 0 && is(at - 1, " \t\r\n,:}]")) --at;
        if (at == 0) return 0;
        if (text_[at - 1] == '{' || text_[at - 1] == '[') return at - 1;
        if (text_[at - 1] == '"') {
            // Back to the opening quote: the one not escaped by an odd run of backslashes.
            for (std::size_t i = at - 1; i-- > 0;) {
                if (text_[i] != '"') continue;
                std::size_t slashes = 0;
                while (slashes < i && text_[i - 1 - slashes] == '\\') ++slashes;
                if (slashes % 2 == 0) return i;
            }
            return 0;
        }
        while (at > 0 && !is(at - 1, " \t\r\n,:[{")) --at;
        return at;
    }

    std::string origin_;
    std::string text_;
    json root_;
    std::map<std::string, std::size_t> key_at_, value_at_;
};

std::string type_name(const json& value)
{
    switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return value.get<bool>() ? "true" : "false";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: return "a number";
    default: return "something else";
    }
}

std::string join(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Reads the values of one document, failing at the first that is wrong.
class Reader {
public:
    explicit Reader(const Document& document) : doc_(document) {}

    [[noreturn]] void fail(const std::string& pointer, const std::string& what, bool at_key = false) const
    {
        doc_.fail(pointer, what, at_key);
    }

    // An object with no key outside `known`; `what` names it in messages ("a scanner").
    const json& object(const std::string& pointer, const json& value, const std::string& what,
                       const std::vector<std::string>& known) const
    {
        if (!value.is_object()) fail(pointer, what + " is an object, not " + type_name(value));
        for (auto it = value.begin(); it != value.end(); ++it)
            if (std::find(known.begin(), known.end(), it.key()) == known.end())
                fail(pointer + "/" + pointer_token(it.key()),
                     "unknown key \"" + it.key() + "\" in " + what + " (it takes " + join(known) + ")", true);
        return value;
    }

    const json& array(const std::string& pointer, const json& value, const std::string& name, std::size_t most) const
    {
        if (!value.is_array()) fail(pointer, "\"" + name + "\" is an array, not " + type_name(value));
        if (value.size() > most)
            fail(pointer, "\"" + name + "\" holds " + std::to_string(value.size()) + " entries; at most " +
                              std::to_string(most));
        return value;
    }

    std::int64_t whole(const std::string& pointer, const json& value, const std::string& name, std::int64_t low,
                       std::int64_t high) const
    {
        const std::string range = " (" + std::to_string(low) + " to " + std::to_string(high) + ")";
        if (!value.is_number_integer())
            fail(pointer, "\"" + name + "\" is a whole number" + range + ", not " +
                              (value.is_number() ? "a fraction" : type_name(value)));
        // An unsigned value no larger than high (never negative here) fits the signed type.
        const bool in_range = value.is_number_unsigned()
                                  ? value.get<std::uint64_t>() <= static_cast<std::uint64_t>(high) &&
                                        static_cast<std::int64_t>(value.get<std::uint64_t>()) >= low
                                  : value.get<std::int64_t>() >= low && value.get<std::int64_t>() <= high;
        if (!in_range)
            fail(pointer, "\"" + name + "\" " + value.dump() + " is out of range" + range);
        return value.get<std::int64_t>();
    }

    bool boolean(const std::string& pointer, const json& value, const std::string& name) const
    {
        if (!value.is_boolean()) fail(pointer, "\"" + name + "\" is true or false, not " + type_name(value));
        return value.get<bool>();
    }

    std::string text(const std::string& pointer, const json& value, const std::string& name, std::size_t most,
                     bool may_be_empty = true) const
    {
        if (!value.is_string()) fail(pointer, "\"" + name + "\" is a string, not " + type_name(value));
        const std::string& text = value.get_ref<const std::string&>();
        if (text.size() > most)
            fail(pointer, "\"" + name + "\" is " + std::to_string(text.size()) + " bytes long; at most " +
                              std::to_string(most));
        if (!may_be_empty && text.empty()) fail(pointer, "\"" + name + "\" is empty");
        if (text.find('\0') != std::string::npos) fail(pointer, "\"" + name + "\" holds a NUL character");
        return text;
    }

    template <class Each>
    void members(const std::string& pointer, const json& object, Each each) const
    {
        for (auto it = object.begin(); it != object.end(); ++it)
            each(pointer + "/" + pointer_token(it.key()), it.key(), it.value());
    }

private:
    const Document& doc_;
};

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool is_absolute(const std::string& path)
{
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
           (path.size() > 1 && path[1] == ':'); // a drive letter
}

bool read_file(const std::string& path, std::string& bytes, std::size_t most)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    if (static_cast<std::uint64_t>(size) > most) {
        bytes.assign(most + 1, '\0'); // too big: the caller sees the size only
        return true;
    }
    in.seekg(0);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    return static_cast<bool>(in.read(bytes.data(), size)) || size == 0;
}

struct ScannerReader {
    const Reader& reader;
    std::string folder; // of the scenario, for relative calibration files

    ScenarioScanner read(const std::string& p, const json& value, std::size_t index) const
    {
        static const std::vector<std::string> keys = {"sensor_id", "serial_number", "descriptors", "dirty", "broken",
                                                      "attached",  "pia",           "parameters",  "calibration"};
        reader.object(p, value, "a scanner", keys);
        if (!value.contains("sensor_id")) reader.fail(p, "a scanner needs \"sensor_id\"");
        const std::string id = reader.text(p + "/sensor_id", value["sensor_id"], "sensor_id", max_text, false);
        char serial[32];
        std::snprintf(serial, sizeof serial, "QV3-5A1C%04X", static_cast<unsigned>(index + 1) & 0xFFFFu);
        std::string serial_number = serial;
        if (value.contains("serial_number"))
            serial_number = reader.text(p + "/serial_number", value["serial_number"], "serial_number", max_text);
        ScenarioScanner scanner{factory_identity(id, serial_number)};
        ScannerIdentity& identity = scanner.identity;
        if (value.contains("descriptors")) {
            const json& list = reader.array(p + "/descriptors", value["descriptors"], "descriptors", 3);
            if (list.size() != 3) reader.fail(p + "/descriptors", "\"descriptors\" holds exactly three strings");
            for (std::size_t i = 0; i < 3; ++i)
                identity.descriptor[i] =
                    reader.text(p + "/descriptors/" + std::to_string(i), list[i], "descriptors", max_text);
        }
        if (value.contains("dirty")) identity.dirty = reader.boolean(p + "/dirty", value["dirty"], "dirty");
        if (value.contains("broken")) scanner.broken = reader.boolean(p + "/broken", value["broken"], "broken");
        if (value.contains("attached"))
            scanner.attached = reader.boolean(p + "/attached", value["attached"], "attached");
        if (value.contains("pia")) read_pia(p + "/pia", value["pia"], identity);
        if (value.contains("parameters")) read_parameters(p + "/parameters", value["parameters"], identity);
        if (value.contains("calibration")) read_calibration(p + "/calibration", value["calibration"], identity);
        return scanner;
    }

    void read_pia(const std::string& p, const json& value, ScannerIdentity& identity) const
    {
        if (!value.is_object()) reader.fail(p, "\"pia\" is an object, not " + type_name(value));
        reader.members(p, value, [&](const std::string& at, const std::string& key, const json& bytes) {
            const bool digits = !key.empty() && key.size() <= 5 &&
                                std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits || std::stoul(key) > 65535)
                reader.fail(at, "a PIA block is named by its number, 0 to 65535, not \"" + key + "\"", true);
            std::vector<std::uint8_t> block;
            if (bytes.is_string()) {
                const std::string text = reader.text(at, bytes, "pia " + key, 65535);
                block.assign(text.begin(), text.end());
            } else {
                const json& list = reader.array(at, bytes, "pia " + key, 65535);
                for (std::size_t i = 0; i < list.size(); ++i)
                    block.push_back(static_cast<std::uint8_t>(
                        reader.whole(at + "/" + std::to_string(i), list[i], "pia " + key, 0, 255)));
            }
            identity.pia[static_cast<std::uint16_t>(std::stoul(key))] = std::move(block);
        });
    }

    void read_parameters(const std::string& p, const json& value, ScannerIdentity& identity) const
    {
        std::vector<std::string> names;
        for (const ParameterSpec& spec : parameter_specs) names.push_back(spec.name);
        reader.object(p, value, "\"parameters\"", names);
        for (const ParameterSpec& spec : parameter_specs)
            if (value.contains(spec.name))
                identity.parameters[spec.id] = static_cast<std::uint32_t>(
                    reader.whole(p + "/" + spec.name, value[spec.name], spec.name, spec.low, spec.high));
    }

    void read_calibration(const std::string& p, const json& value, ScannerIdentity& identity) const
    {
        if (value.is_string() && value.get<std::string>() == "built-in") return;
        if (!value.is_object())
            reader.fail(p, "\"calibration\" is \"built-in\" or an object with black, white, stride_bytes and height");
        reader.object(p, value, "\"calibration\"", {"black", "white", "stride_bytes", "height"});
        for (const char* key : {"black", "white", "stride_bytes", "height"})
            if (!value.contains(key)) reader.fail(p, "\"calibration\" needs \"" + std::string(key) + "\"");
        const auto stride = static_cast<std::uint32_t>(
            reader.whole(p + "/stride_bytes", value["stride_bytes"], "stride_bytes", 2, 65536));
        if (stride % 2 != 0) reader.fail(p + "/stride_bytes", "\"stride_bytes\" is even: two bytes a sample");
        const auto height =
            static_cast<std::uint32_t>(reader.whole(p + "/height", value["height"], "height", 1, 65536));
        const std::uint64_t bytes = std::uint64_t{stride} * height;
        if (bytes > (64u << 20)) reader.fail(p, "a calibration image of more than 64 MiB");
        Calibration calibration;
        calibration.stride_bytes = stride;
        calibration.height = height;
        for (const char* which : {"black", "white"}) {
            const std::string at = p + "/" + which;
            std::string path = reader.text(at, value[which], which, 4096, false);
            if (!is_absolute(path)) path = folder + path;
            std::string raw;
            if (!read_file(path, raw, static_cast<std::size_t>(bytes)))
                reader.fail(at, "cannot read the " + std::string(which) + " image " + path);
            if (raw.size() != bytes)
                reader.fail(at, "the " + std::string(which) + " image " + path + " holds " +
                                    (raw.size() > bytes ? "more than " + std::to_string(bytes)
                                                        : std::to_string(raw.size())) +
                                    " bytes, not stride_bytes x height = " + std::to_string(bytes));
            // 16-bit samples, least significant byte first.
            auto& samples = which[0] == 'b' ? calibration.black : calibration.white;
            samples.resize(raw.size() / 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                                        static_cast<unsigned char>(raw[2 * i + 1]) << 8);
        }
        identity.calibration = std::move(calibration);
    }
};

TimelineEvent read_event(const Reader& reader, const std::string& p, const json& value,
                         const std::vector<std::string>* sensor_ids)
{
    using Kind = TimelineEvent::Kind;
    static const std::vector<std::string> kinds = {"unplug", "plug", "sleep", "wake", "capture_status", "log"};
    if (!value.is_object()) reader.fail(p, "an event is an object, not " + type_name(value));
    if (!value.contains("event")) reader.fail(p, "an event needs \"event\" (" + join(kinds) + ")");
    const std::string kind = reader.text(p + "/event", value["event"], "event", max_text);
    const auto found = std::find(kinds.begin(), kinds.end(), kind);
    if (found == kinds.end()) reader.fail(p + "/event", "unknown event \"" + kind + "\" (" + join(kinds) + ")");
    TimelineEvent event;
    event.kind = static_cast<Kind>(found - kinds.begin());
    std::vector<std::string> keys = {"event", "at_ms", "after_frames", "sensor_id"};
    if (event.kind == Kind::unplug) keys.push_back("replug_after_ms");
    if (event.kind == Kind::capture_status) keys.push_back("status");
    if (event.kind == Kind::log) keys.push_back("text");
    reader.object(p, value, "a " + kind + " event", keys);

    if (value.contains("at_ms") == value.contains("after_frames"))
        reader.fail(p, "an event takes either \"at_ms\" or \"after_frames\"");
    if (value.contains("at_ms"))
        event.at_ms = static_cast<std::uint64_t>(reader.whole(p + "/at_ms", value["at_ms"], "at_ms", 0, max_ms));
    else
        event.after_frames = static_cast<std::uint64_t>(
            reader.whole(p + "/after_frames", value["after_frames"], "after_frames", 0, 1000000000));
    if (value.contains("sensor_id")) {
        event.sensor_id = reader.text(p + "/sensor_id", value["sensor_id"], "sensor_id", max_text, false);
        if (sensor_ids != nullptr &&
            std::find(sensor_ids->begin(), sensor_ids->end(), event.sensor_id) == sensor_ids->end())
            reader.fail(p + "/sensor_id", "\"sensor_id\" \"" + event.sensor_id + "\" names none of the scanners");
    }
    if (value.contains("replug_after_ms"))
        event.replug_after_ms = static_cast<unsigned>(
            reader.whole(p + "/replug_after_ms", value["replug_after_ms"], "replug_after_ms", 0, max_ms));
    if (event.kind == Kind::capture_status) {
        if (!value.contains("status")) reader.fail(p, "a capture_status event needs \"status\"");
        event.status = static_cast<int>(reader.whole(p + "/status", value["status"], "status", 1, 255));
    }
    if (event.kind == Kind::log) {
        if (!value.contains("text")) reader.fail(p, "a log event needs \"text\"");
        event.text = reader.text(p + "/text", value["text"], "text", 4096);
    }
    return event;
}

Scenario read_document(const Document& document, const std::string& folder)
{
    const Reader reader(document);
    const json& root = reader.object("", document.root(), "a scenario",
                                     {"description", "scanners", "frame_interval_us", "faults", "timeline"});
    Scenario scenario;
    if (root.contains("description")) reader.text("/description", root["description"], "description", 65536);
    if (root.contains("frame_interval_us"))
        scenario.frame_interval_us = static_cast<unsigned>(
            reader.whole("/frame_interval_us", root["frame_interval_us"], "frame_interval_us", 100, 10000000));

    std::vector<std::string> sensor_ids;
    if (root.contains("scanners")) {
        const json& list = reader.array("/scanners", root["scanners"], "scanners", 64);
        const ScannerReader scanners{reader, folder};
        scenario.scanners.emplace();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string p = "/scanners/" + std::to_string(i);
            scenario.scanners->push_back(scanners.read(p, list[i], i));
            const std::string& id = scenario.scanners->back().identity.sensor_id;
            if (std::find(sensor_ids.begin(), sensor_ids.end(), id) != sensor_ids.end())
                reader.fail(p + "/sensor_id", "a second scanner \"" + id + "\"");
            sensor_ids.push_back(id);
        }
    }

    if (root.contains("faults")) {
        const json& list = reader.array("/faults", root["faults"], "faults", 1000);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string p = "/faults/" + std::to_string(i);
            const json& fault = reader.object(p, list[i], "a fault", {"operation", "status", "count", "after"});
            for (const char* key : {"operation", "status"})
                if (!fault.contains(key)) reader.fail(p, "a fault needs \"" + std::string(key) + "\"");
            FaultRule rule;
            rule.operation = reader.text(p + "/operation", fault["operation"], "operation", max_text);
            if (!is_operation(rule.operation))
                reader.fail(p + "/operation", "unknown operation \"" + rule.operation + "\"");
            rule.rule.status =
                static_cast<TFT_Status>(reader.whole(p + "/status", fault["status"], "status", 1, 255));
            rule.rule.count = 1;
            if (fault.contains("count")) {
                rule.rule.count = static_cast<int>(reader.whole(p + "/count", fault["count"], "count", -1, 1000000));
                if (rule.rule.count == 0) reader.fail(p + "/count", "\"count\" is -1 (every call) or 1 to 1000000");
            }
            if (fault.contains("after"))
                rule.rule.after =
                    static_cast<std::uint64_t>(reader.whole(p + "/after", fault["after"], "after", 0, 1000000000));
            scenario.faults.push_back(std::move(rule));
        }
    }

    if (root.contains("timeline")) {
        const json& list = reader.array("/timeline", root["timeline"], "timeline", 10000);
        for (std::size_t i = 0; i < list.size(); ++i)
            scenario.timeline.push_back(read_event(reader, "/timeline/" + std::to_string(i), list[i],
                                                   scenario.scanners ? &sensor_ids : nullptr));
    }
    return scenario;
}

} // namespace

Scenario read_scenario(const std::string& path)
{
    std::string text;
    if (!read_file(path, text, max_file_bytes))
        throw ScenarioError("VQUAD stand-in: " + path + ": cannot read the scenario file");
    if (text.size() > max_file_bytes)
        throw ScenarioError("VQUAD stand-in: " + path + ": a scenario file of more than 4 MiB");
    return read_document(Document(path, std::move(text)), folder_of(path));
}

TimelineEvent read_timeline_event(const std::string& json_text, const std::string& origin)
{
    const Document document(origin, json_text);
    return read_event(Reader(document), "", document.root(), nullptr);
}

} // namespace vqsim

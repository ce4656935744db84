// SPDX-License-Identifier: MIT
// The scenario codec: reading (every key checked, every error shown at its line and column) and
// writing, the one place where the format's keys are spelled.
#include "simulator/scenario/scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>


#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "simulator/scenario/scanner_facts.h"

namespace vqsim {

namespace platform = nvr::vantorquadrelv3::platform;

namespace {

using json = nlohmann::json;

// What a scenario file may hold (its documented limits). A file beyond them is refused as soon as
// reading reaches the excess, so reading costs time and memory linear in what is accepted.
constexpr std::size_t max_file_bytes = 48u << 20; // 10000 log events of 4096 bytes fit
constexpr std::size_t max_depth = 8;              // the format nests 5 deep
constexpr std::size_t max_values = 8u << 20;
constexpr std::size_t max_text = 255;
constexpr std::uint64_t max_ms = 86400000; // a day

// The most entries each array may hold, by its name (a PIA block's bytes are named by the block).
std::size_t most_entries(const std::string& name)
{
    if (name == "scanners") return max_scanners;
    if (name == "faults") return max_faults;
    if (name == "timeline") return max_events;
    if (name == "descriptors") return 3;
    return 65535;
}

const char* const operation_names[] = {
    "initialize", "uninitialize", "destroy_instance", "register_logger_callback",
    "register_notification_callback", "unregister_logger_callback", "unregister_notification_callback",
    "get_sensor_list", "open_sensor", "close_sensor", "close_all_sensor", "usbReboot", "usbReboot_blocking",
    "read_serial_number", "get_device_descriptor", "read_pia", "get_capture_param", "set_capture_params",
    "set_ihm_request", "start_asynchronous_capture", "stop_asynchronous_capture", "read_fpn_data_black",
    "read_fpn_data_white"};

// By TimelineEvent::Kind.
const char* const event_kinds[] = {"unplug", "plug", "sleep", "wake", "capture_status", "log"};

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

// The error line keeps to one line and shows the terminal nothing to obey: control characters and
// bytes outside ASCII (from keys, names, paths, or the parser's quote of the input) are escaped.
std::string printable(const std::string& text)
{
    std::string shown;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

ScenarioError error_line(const std::string& where, const std::string& what)
{
    return ScenarioError("VQUAD stand-in: " + printable(where) + ": " + printable(what));
}

// A parsed document that can show where each of its keys and values begins, by JSON pointer, so that
// what is wrong with a value is shown at its line and column. Positions are found only for the one
// value that is wrong, by reading the text again.
class Document {
public:
    Document(std::string origin, std::string text) : origin_(std::move(origin)), text_(std::move(text))
    {
        if (const std::size_t nul = text_.find('\0'); nul != std::string::npos)
            fail_at(nul, "a NUL byte (a scenario is JSON text)");
        std::istringstream in(text_);
        struct Level {
            bool array = false;
            std::string name; // the array's, for its limit; the object's current key
            std::size_t entries = 0;
            std::set<std::string> keys;
        };
        std::vector<Level> levels;
        std::size_t values = 0;
        const auto here = [&] { return token_start(read_so_far(in)); };
        const auto entry = [&] {
            if (levels.empty() || !levels.back().array) return;
            const Level& array = levels.back();
            if (++levels.back().entries > most_entries(array.name))
                fail_at(here(), "\"" + array.name + "\" holds more than " + std::to_string(most_entries(array.name)) +
                                    " entries; at most " + std::to_string(most_entries(array.name)));
        };
        const auto callback = [&](int depth, json::parse_event_t event, json& parsed) {
            switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start: {
                if (static_cast<std::size_t>(depth) >= max_depth)
                    fail_at(here(), "nested more than " + std::to_string(max_depth) + " levels deep");
                if (++values > max_values) fail_at(here(), "more than " + std::to_string(max_values) + " values");
                entry();
                std::string name = levels.empty() || levels.back().array ? std::string() : levels.back().name;
                levels.emplace_back();
                levels.back().array = event == json::parse_event_t::array_start;
                levels.back().name = std::move(name);
                break;
            }
            case json::parse_event_t::key: {
                Level& level = levels.back();
                level.name = parsed.get<std::string>();
                if (!level.keys.insert(level.name).second)
                    fail_at(here(), "the key \"" + level.name + "\" appears twice in one object");
                break;
            }
            case json::parse_event_t::value:
                if (++values > max_values) fail_at(here(), "more than " + std::to_string(max_values) + " values");
                entry();
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                levels.pop_back();
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
        } catch (const json::exception&) {
            // A number beyond a double's range (1e309) is the only other thing the parser refuses.
            fail_at(here(), "a number out of range");
        }
    }

    const json& root() const { return root_; }
    const std::string& origin() const { return origin_; }

    // What is wrong with the value at the pointer (or with its key), shown where it stands.
    [[noreturn]] void fail(const std::string& pointer, const std::string& what, bool at_key = false) const
    {
        fail_at(find(pointer, at_key), what);
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
        throw error_line(origin_ + ":" + std::to_string(line) + ":" + std::to_string(column), what);
    }

private:
    struct Found {
        std::size_t offset;
    };

    static std::size_t read_so_far(std::istringstream& in)
    {
        const auto position = in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
        return position < 0 ? std::string::npos : static_cast<std::size_t>(position);
    }

    // Where the key or value at the pointer begins: the text read again (it was valid the first
    // time) until it comes by.
    std::size_t find(const std::string& pointer, bool at_key) const
    {
        std::istringstream in(text_);
        struct Level {
            bool array = false;
            std::size_t index = 0;
            std::string key;
        };
        std::vector<Level> levels;
        const auto path = [&] {
            std::string p;
            for (const Level& level : levels)
                p += "/" + (level.array ? std::to_string(level.index) : pointer_token(level.key));
            return p;
        };
        const auto next_element = [&] {
            if (!levels.empty() && levels.back().array) ++levels.back().index;
        };
        const auto callback = [&](int, json::parse_event_t event, json& parsed) {
            switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                if (!at_key && path() == pointer) throw Found{token_start(read_so_far(in))};
                levels.emplace_back();
                levels.back().array = event == json::parse_event_t::array_start;
                break;
            case json::parse_event_t::key:
                levels.back().key = parsed.get<std::string>();
                if (at_key && path() == pointer) throw Found{token_start(read_so_far(in))};
                break;
            case json::parse_event_t::value:
                if (!at_key && path() == pointer) throw Found{token_start(read_so_far(in))};
                next_element();
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                levels.pop_back();
                next_element();
                break;
            }
            return true; // (a container not kept would hide its members from this callback)
        };
        try {
            const json discarded = json::parse(in, callback);
            static_cast<void>(discarded);
        } catch (const Found& found) {
            return found.offset;
        } catch (const json::exception&) {
        }
        return 0;
    }

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

// A regular file's bytes, or most + 1 of them when it holds more; false when it cannot be read.
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

    ScenarioScanner read(const std::string& p, const json& value) const
    {
        static const std::vector<std::string> keys = {"sensor_id", "serial_number", "descriptors", "dirty", "broken",
                                                      "attached",  "pia",           "parameters",  "calibration",
                                                      "frames"};
        reader.object(p, value, "a scanner", keys);
        if (!value.contains("sensor_id")) reader.fail(p, "a scanner needs \"sensor_id\"");
        const std::string id = reader.text(p + "/sensor_id", value["sensor_id"], "sensor_id", max_text, false);
        ScenarioScanner scanner;
        scanner.sensor_id = id;
        if (value.contains("serial_number"))
            scanner.serial_number =
                reader.text(p + "/serial_number", value["serial_number"], "serial_number", max_text);
        if (value.contains("descriptors")) {
            const json& list = reader.array(p + "/descriptors", value["descriptors"], "descriptors", 3);
            if (list.size() != 3) reader.fail(p + "/descriptors", "\"descriptors\" holds exactly three strings");
            scanner.descriptors.emplace();
            for (std::size_t i = 0; i < 3; ++i)
                (*scanner.descriptors)[i] =
                    reader.text(p + "/descriptors/" + std::to_string(i), list[i], "descriptors", max_text);
        }
        if (value.contains("dirty")) scanner.dirty = reader.boolean(p + "/dirty", value["dirty"], "dirty");
        if (value.contains("broken")) scanner.broken = reader.boolean(p + "/broken", value["broken"], "broken");
        if (value.contains("attached"))
            scanner.attached = reader.boolean(p + "/attached", value["attached"], "attached");
        if (value.contains("pia")) read_pia(p + "/pia", value["pia"], scanner);
        if (value.contains("parameters")) read_parameters(p + "/parameters", value["parameters"], scanner);
        if (value.contains("calibration")) read_calibration(p + "/calibration", value["calibration"], scanner);
        if (value.contains("frames")) read_frames(p + "/frames", value["frames"], scanner);
        return scanner;
    }

    void read_pia(const std::string& p, const json& value, ScenarioScanner& scanner) const
    {
        if (!value.is_object()) reader.fail(p, "\"pia\" is an object, not " + type_name(value));
        reader.members(p, value, [&](const std::string& at, const std::string& key, const json& bytes) {
            // One spelling a number ("3", never "03"), so that no block is named twice.
            const bool digits = !key.empty() && key.size() <= 5 && (key == "0" || key[0] != '0') &&
                                std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits || std::stoul(key) > 65535)
                reader.fail(at, "a PIA block is named by its number, 0 to 65535 without leading zeros, not \"" + key + "\"",
                            true);
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
            scanner.pia[static_cast<std::uint16_t>(std::stoul(key))] = std::move(block);
        });
    }

    void read_parameters(const std::string& p, const json& value, ScenarioScanner& scanner) const
    {
        std::vector<std::string> names;
        for (const ParameterSpec& spec : parameter_specs) names.push_back(spec.name);
        reader.object(p, value, "\"parameters\"", names);
        for (const ParameterSpec& spec : parameter_specs)
            if (value.contains(spec.name))
                scanner.parameters[spec.id] = static_cast<std::uint32_t>(
                    reader.whole(p + "/" + spec.name, value[spec.name], spec.name, spec.low, spec.high));
    }

    void read_calibration(const std::string& p, const json& value, ScenarioScanner& scanner) const
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
        ScenarioCalibration calibration;
        calibration.stride_bytes = stride;
        calibration.height = height;
        for (const char* which : {"black", "white"}) {
            const bool black = which[0] == 'b';
            (black ? calibration.black : calibration.white) =
                raw_samples(p + "/" + which, value[which], std::string("the ") + which + " image", bytes,
                            "stride_bytes x height", black ? calibration.black_file : calibration.white_file);
        }
        scanner.calibration = std::move(calibration);
    }

    // Recorded images the scanner's captures deliver in a loop instead of synthesised ones.
    void read_frames(const std::string& p, const json& value, ScenarioScanner& scanner) const
    {
        const json& list = reader.array(p, value, "frames", max_frame_files);
        if (list.empty()) reader.fail(p, "\"frames\" lists at least one raw file");
        auto frames = std::make_shared<RecordedFrames>();
        scanner.frame_files.resize(list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            frames->push_back(raw_samples(p + "/" + std::to_string(i), list[i], "frame " + std::to_string(i),
                                          image_samples * 2, "a whole frame, 3200 x 1500", scanner.frame_files[i]));
        scanner.frames = std::move(frames);
    }

    // A raw file of exactly `bytes` bytes of 16-bit samples, least significant byte first; its path
    // relative to the scenario's folder. `written` is the name as the file has it.
    std::vector<std::uint16_t> raw_samples(const std::string& at, const json& name, const std::string& what,
                                           std::uint64_t bytes, const char* size_name, std::string& written) const
    {
        written = reader.text(at, name, what, 4096, false);
        std::string path = is_absolute(written) ? written : folder + written;
        std::string raw;
        if (const char* kind = platform::special_file_kind(path.c_str()))
            reader.fail(at, what + " " + path + " is " + kind + ", not a regular file");
        if (!read_file(path, raw, static_cast<std::size_t>(bytes))) reader.fail(at, "cannot read " + what + " " + path);
        if (raw.size() != bytes)
            reader.fail(at, what + " " + path + " holds " +
                                (raw.size() > bytes ? "more than " + std::to_string(bytes) : std::to_string(raw.size())) +
                                " bytes, not " + size_name + " = " + std::to_string(bytes));
        std::vector<std::uint16_t> samples(raw.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                                    static_cast<unsigned char>(raw[2 * i + 1]) << 8);
        return samples;
    }
};

TimelineEvent read_event(const Reader& reader, const std::string& p, const json& value,
                         const std::vector<std::string>* sensor_ids)
{
    using Kind = TimelineEvent::Kind;
    const std::vector<std::string> kinds(std::begin(event_kinds), std::end(event_kinds));
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
        event.text = reader.text(p + "/text", value["text"], "text", max_log_text);
        // The library writes the device library's texts as they come: a line feed would forge lines.
        if (has_control_character(event.text))
            reader.fail(p + "/text", "\"text\" holds a control character; a log text is one line of printable text");
    }
    return event;
}

Scenario read_document(const Document& document, const std::string& folder)
{
    const Reader reader(document);
    const json& root = reader.object("", document.root(), "a scenario",
                                     {"description", "scanners", "frame_interval_us", "faults", "timeline"});
    Scenario scenario;
    if (root.contains("description"))
        scenario.description = reader.text("/description", root["description"], "description", 65536);
    if (root.contains("frame_interval_us"))
        scenario.frame_interval_us = static_cast<unsigned>(
            reader.whole("/frame_interval_us", root["frame_interval_us"], "frame_interval_us", 100, 10000000));

    std::vector<std::string> sensor_ids;
    if (root.contains("scanners")) {
        const json& list = reader.array("/scanners", root["scanners"], "scanners", max_scanners);
        const ScannerReader scanners{reader, folder};
        scenario.scanners.emplace();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string p = "/scanners/" + std::to_string(i);
            scenario.scanners->push_back(scanners.read(p, list[i]));
            const std::string& id = scenario.scanners->back().sensor_id;
            if (std::find(sensor_ids.begin(), sensor_ids.end(), id) != sensor_ids.end())
                reader.fail(p + "/sensor_id", "a second scanner \"" + id + "\"");
            sensor_ids.push_back(id);
        }
    }

    if (root.contains("faults")) {
        const json& list = reader.array("/faults", root["faults"], "faults", max_faults);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string p = "/faults/" + std::to_string(i);
            const json& fault = reader.object(p, list[i], "a fault", {"operation", "status", "count", "after"});
            for (const char* key : {"operation", "status"})
                if (!fault.contains(key)) reader.fail(p, "a fault needs \"" + std::string(key) + "\"");
            FaultRule rule;
            rule.operation = reader.text(p + "/operation", fault["operation"], "operation", max_text);
            if (!is_operation(rule.operation))
                reader.fail(p + "/operation", "unknown operation \"" + rule.operation + "\"");
            rule.status = static_cast<Celdra::TFTManager::TFT_Status>(
                reader.whole(p + "/status", fault["status"], "status", 1, 255));
            if (fault.contains("count")) {
                rule.count = static_cast<int>(reader.whole(p + "/count", fault["count"], "count", -1, 1000000));
                if (rule.count == 0) reader.fail(p + "/count", "\"count\" is -1 (every call) or 1 to 1000000");
            }
            if (fault.contains("after"))
                rule.after =
                    static_cast<std::uint64_t>(reader.whole(p + "/after", fault["after"], "after", 0, 1000000000));
            scenario.faults.push_back(std::move(rule));
        }
    }

    if (root.contains("timeline")) {
        const json& list = reader.array("/timeline", root["timeline"], "timeline", max_events);
        for (std::size_t i = 0; i < list.size(); ++i)
            scenario.timeline.push_back(read_event(reader, "/timeline/" + std::to_string(i), list[i],
                                                   scenario.scanners ? &sensor_ids : nullptr));
    }
    return scenario;
}

using ordered_json = nlohmann::ordered_json;

ordered_json write_scanner(const ScenarioScanner& scanner)
{
    ordered_json out = {{"sensor_id", scanner.sensor_id}};
    if (scanner.serial_number) out["serial_number"] = *scanner.serial_number;
    if (scanner.descriptors) out["descriptors"] = *scanner.descriptors;
    if (scanner.dirty) out["dirty"] = true;
    if (scanner.broken) out["broken"] = true;
    if (!scanner.attached) out["attached"] = false;
    for (const auto& [block, bytes] : scanner.pia) out["pia"][std::to_string(block)] = bytes;
    for (const ParameterSpec& spec : parameter_specs)
        if (auto found = scanner.parameters.find(spec.id); found != scanner.parameters.end())
            out["parameters"][spec.name] = found->second;
    if (const auto& calibration = scanner.calibration)
        out["calibration"] = {{"black", calibration->black_file},
                              {"white", calibration->white_file},
                              {"stride_bytes", calibration->stride_bytes},
                              {"height", calibration->height}};
    if (!scanner.frame_files.empty()) out["frames"] = scanner.frame_files;
    return out;
}

ordered_json write_event(const TimelineEvent& event)
{
    using Kind = TimelineEvent::Kind;
    ordered_json out = {{"event", event_kinds[static_cast<std::size_t>(event.kind)]}};
    if (!event.sensor_id.empty()) out["sensor_id"] = event.sensor_id;
    if (event.at_ms) out["at_ms"] = *event.at_ms;
    if (event.after_frames) out["after_frames"] = *event.after_frames;
    if (event.kind == Kind::unplug && event.replug_after_ms) out["replug_after_ms"] = *event.replug_after_ms;
    if (event.kind == Kind::capture_status) out["status"] = event.status;
    if (event.kind == Kind::log) out["text"] = event.text;
    return out;
}

} // namespace

std::string write_scenario(const Scenario& scenario)
{
    ordered_json out = ordered_json::object();
    if (scenario.description) out["description"] = *scenario.description;
    if (scenario.scanners) {
        out["scanners"] = ordered_json::array();
        for (const ScenarioScanner& scanner : *scenario.scanners) out["scanners"].push_back(write_scanner(scanner));
    }
    if (scenario.frame_interval_us) out["frame_interval_us"] = *scenario.frame_interval_us;
    for (const FaultRule& rule : scenario.faults) {
        ordered_json fault = {{"operation", rule.operation}, {"status", static_cast<int>(rule.status)}};
        if (rule.count != 1) fault["count"] = rule.count;
        if (rule.after != 0) fault["after"] = rule.after;
        out["faults"].push_back(std::move(fault));
    }
    for (const TimelineEvent& event : scenario.timeline) out["timeline"].push_back(write_event(event));
    return out.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool has_control_character(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

Scenario read_scenario(const std::string& path)
{
    std::string text;
    // A FIFO would block initialize, and a folder or a device has no size to read.
    if (const char* kind = platform::special_file_kind(path.c_str()))
        throw error_line(path, std::string("the scenario file is ") + kind + ", not a regular file");
    if (!read_file(path, text, max_file_bytes)) throw error_line(path, "cannot read the scenario file");
    if (text.size() > max_file_bytes)
        throw error_line(path, "a scenario file of more than " + std::to_string(max_file_bytes >> 20) + " MiB");
    return read_document(Document(path, std::move(text)), folder_of(path));
}

TimelineEvent read_timeline_event(const std::string& json_text, const std::string& origin)
{
    const Document document(origin, json_text);
    return read_event(Reader(document), "", document.root(), nullptr);
}

} // namespace vqsim

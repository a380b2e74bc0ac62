#include "cli/report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

namespace sarnoval::cli {

namespace {

using Json = nlohmann::ordered_json;

// JSON strings are UTF-8. A text that is not (a Linux file name may be any
// bytes) is given with U+FFFD in place of each bad sequence, and its exact
// bytes beside it in hex under key + "_hex".
void PutText(Json& object, const std::string& key, const std::string& text) {
    object[key] = text;
    try {
        (void)object[key].dump();
    } catch (const Json::type_error&) {
        std::string hex;
        for (unsigned char byte : text) {
            static constexpr char kDigits[] = "0123456789abcdef";
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 15];
        }
        object[key + "_hex"] = hex;
    }
}

// The engine's bytes over its own interval; null when the interval is under
// a millisecond, which a clock of whole milliseconds cannot tell apart from 0.
Json BytesPerSecond(std::uint64_t bytes, double ms) {
    return ms > 0 ? Json(static_cast<double>(bytes) * 1000.0 / ms) : Json(nullptr);
}

Json Median(std::vector<double> values) {
    if (values.empty()) {
        return nullptr;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Json Start(const Finished& test) {
    Json object;
    object["kind"] = test.kind;
    return object;
}

// What the result says about where it was measured, and what may make its
// figures other than the drive's.
void Describe(Json& object, const Finished& test) {
    const StorageFacts& s = test.storage;
    const std::pair<const char*, const std::string*> texts[] = {
        {"mount_point", &s.mountPoint},
        {"fs_type", &s.fsType},
        {"device", &s.device},
        {"bus", &s.bus},
        {"link", &s.link},
        {"device_model", &s.model},
        {"compression", &s.compression},
        {"drive_type", &s.driveType},
    };
    for (const auto& [key, text] : texts) {
        if (!text->empty()) {
            PutText(object, key, TextToUtf8(*text));
        }
    }
    const ResultFigures& f = test.figures;
    object["direct"] = f.direct;
    const auto speed = [&](std::uint64_t ms) {
        return ms ? static_cast<double>(f.bytes) * 1000.0 / static_cast<double>(ms) : 0.0;
    };
    Json warnings = Json::array();
    for (const std::string& warning :
         Warnings(s, f.direct, test.writes ? speed(f.writeMs) : 0, speed(f.readMs))) {
        warnings.push_back(TextToUtf8(warning));
    }
    object["warnings"] = warnings;
}

std::string End(Json& object, const Finished& test) {
    object["version"] = SARNOVAL_VERSION;
    object["time_utc"] = test.timeUtc;
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

std::string TestJson(const Finished& test) {
    Json object = Start(test);
    PutText(object, "line", TextToUtf8(test.line));
    PutText(object, test.targetKey, test.target);
    const ResultFigures& f = test.figures;
    object["bytes"] = f.bytes;
    if (test.writes) {
        object["write_ms"] = f.writeMs;
    }
    object["read_ms"] = f.readMs;
    if (test.writes) {
        object["write_bytes_per_sec"] = BytesPerSecond(f.bytes, static_cast<double>(f.writeMs));
    }
    object["read_bytes_per_sec"] = BytesPerSecond(f.bytes, static_cast<double>(f.readMs));
    Describe(object, test);
    return End(object, test);
}

std::string FailureJson(const Finished& test, const std::string& message,
                        const FailureDetail& detail) {
    Json object = Start(test);
    PutText(object, test.targetKey, test.target);
    PutText(object, "error", TextToUtf8(message));
    if (!detail.text.empty()) {
        PutText(object, "detail", TextToUtf8(detail.text));
    }
    if (detail.badOffset) {
        object["bad_offset"] = *detail.badOffset;
        object["damage"] = detail.damage ? detail.damage : "other";
    }
    return End(object, test);
}

namespace {

// The medians of a series: the engine's intervals, and the speeds over them
// (those of runs under a millisecond left out); null where there are none.
struct Medians {
    Json writeMs, readMs, writeSpeed, readSpeed;
};

Medians MediansOf(const std::vector<ResultFigures>& runs) {
    const auto median = [&](const std::function<double(const ResultFigures&)>& take,
                            bool skipZero) {
        std::vector<double> values;
        for (const ResultFigures& run : runs) {
            const double value = take(run);
            if (!skipZero || value > 0) {
                values.push_back(value);
            }
        }
        return Median(values);
    };
    const auto rate = [](std::uint64_t bytes, std::uint64_t ms) {
        return ms ? static_cast<double>(bytes) * 1000.0 / static_cast<double>(ms) : 0.0;
    };
    return {median([](const ResultFigures& r) { return double(r.writeMs); }, false),
            median([](const ResultFigures& r) { return double(r.readMs); }, false),
            median([&](const ResultFigures& r) { return rate(r.bytes, r.writeMs); }, true),
            median([&](const ResultFigures& r) { return rate(r.bytes, r.readMs); }, true)};
}

} // namespace

std::string SummaryJson(const Finished& last, const std::vector<ResultFigures>& runs) {
    Json object = Start(last);
    object["summary"] = true;
    object["runs"] = runs.size();
    PutText(object, last.targetKey, last.target);
    const Medians m = MediansOf(runs);
    if (last.writes) {
        object["median_write_ms"] = m.writeMs;
    }
    object["median_read_ms"] = m.readMs;
    if (last.writes) {
        object["median_write_bytes_per_sec"] = m.writeSpeed;
    }
    object["median_read_bytes_per_sec"] = m.readSpeed;
    return End(object, last);
}

std::string SummaryText(const Finished& last, const std::vector<ResultFigures>& runs) {
    const Medians m = MediansOf(runs);
    const auto speed = [](const Json& bytesPerSecond) {
        if (bytesPerSecond.is_null()) {
            return std::string("not measured"); // every run under a millisecond
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond.get<double>() / 1e6);
        return std::string(text);
    };
    return "Medians of " + std::to_string(runs.size()) +
           " runs: " + (last.writes ? "write " + speed(m.writeSpeed) + ", " : "") + "read " +
           speed(m.readSpeed) + " (1 MB = 1,000,000 bytes).";
}

} // namespace sarnoval::cli

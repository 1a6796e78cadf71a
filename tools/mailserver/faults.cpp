#include "faults.h"

#include "http_request.h"

namespace mailserver {
namespace {

enum class ValueType { Text, Flag, Number, PositiveNumber, FillerSize };

// A reply head is built in memory: its filler stays well below that.
constexpr uint64_t kMaxFiller = 16u << 20;

struct FaultName {
    const char* name;
    ValueType type;
    unsigned defaultKinds;
};

const FaultName kFaults[] = {
    {"status", ValueType::Text, KindUpload},
    {"body", ValueType::Text, KindUpload},
    {"chunked", ValueType::Flag, KindUpload},
    {"nolength", ValueType::Flag, KindUpload},
    {"split", ValueType::Number, KindUpload},
    {"continue", ValueType::Flag, KindUpload},
    {"continue_status", ValueType::Text, KindUpload},
    {"continue_split", ValueType::Number, KindUpload},
    {"continue_then", ValueType::Text, KindUpload},
    {"interim", ValueType::Text, KindUpload},
    {"stop_reading", ValueType::Number, KindUpload},
    {"close_after", ValueType::Number, KindUpload},
    {"cut_after", ValueType::Number, KindUpload},
    {"stall", ValueType::Flag, KindUpload},
    {"hold", ValueType::Number, KindUpload},
    {"exists", ValueType::Flag, KindExists},
    {"rate", ValueType::PositiveNumber, KindUpload | KindDownload},
    {"length", ValueType::Number, KindDownload},
    {"rawreply", ValueType::Text, KindUpload},
    {"bighead", ValueType::FillerSize, KindUpload},
    {"validators", ValueType::Flag, KindDownload},
    {"range_reply", ValueType::Text, KindDownload},
    {"change", ValueType::Flag, KindDownload},
    {"hold_head", ValueType::Flag, KindDownload},
    {"keepalive", ValueType::Text, KindDownload},
};

const FaultName* FindFault(const std::string& name) {
    for (const auto& f : kFaults)
        if (name == f.name) return &f;
    return nullptr;
}

bool ParseKinds(const std::string& text, unsigned* kinds) {
    *kinds = 0;
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = Trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (item == "upload")
            *kinds |= KindUpload;
        else if (item == "exists")
            *kinds |= KindExists;
        else if (item == "download")
            *kinds |= KindDownload;
        else if (item == "ranged")
            *kinds |= KindRanged;
        else if (item == "all")
            *kinds |= KindAll;
        else
            return false;
    }
    return *kinds != 0;
}

bool CheckValue(const FaultName& f, const std::string& value, std::string* error) {
    uint64_t n = 0;
    switch (f.type) {
    case ValueType::Text:
        if (value.empty() && std::string(f.name) != "body" && std::string(f.name) != "rawreply") {
            *error = std::string("fault ") + f.name + " needs a text";
            return false;
        }
        if (std::string(f.name) == "keepalive" && value != "keep" && value != "close" && value != "claim_close" &&
            value != "drop_next") {
            *error = "fault keepalive takes keep, close, claim_close or drop_next";
            return false;
        }
        return true;
    case ValueType::Flag:
        if (value == "0" || value == "1") return true;
        *error = std::string("fault ") + f.name + " takes 0 or 1";
        return false;
    case ValueType::Number:
        if (ParseUint64(value, &n)) return true;
        *error = std::string("fault ") + f.name + " takes a whole number";
        return false;
    case ValueType::PositiveNumber:
        if (ParseUint64(value, &n) && n > 0) return true;
        *error = std::string("fault ") + f.name + " takes a number above 0";
        return false;
    case ValueType::FillerSize:
        if (ParseUint64(value, &n) && n <= kMaxFiller) return true;
        *error = std::string("fault ") + f.name + " takes a number up to " + std::to_string(kMaxFiller);
        return false;
    }
    return false;
}

void Apply(const std::string& name, const std::string& value, FaultSet* set) {
    uint64_t n = 0;
    ParseUint64(value, &n);
    if (name != "rate" && name != "keepalive") set->shaped = true;
    if (name == "status")
        set->status = value;
    else if (name == "body")
        set->body = value;
    else if (name == "chunked")
        set->chunked = value == "1";
    else if (name == "nolength")
        set->nolength = value == "1";
    else if (name == "split")
        set->splitMs = static_cast<long long>(n);
    else if (name == "continue")
        set->withholdContinue = value == "0";
    else if (name == "continue_status")
        set->continueStatus = value;
    else if (name == "continue_split")
        set->continueSplitMs = static_cast<long long>(n);
    else if (name == "continue_then")
        set->continueThen = value;
    else if (name == "interim")
        set->interim = value;
    else if (name == "stop_reading")
        set->stopReading = n;
    else if (name == "close_after" || name == "cut_after") {
        set->closeAfter = n;
        set->cut = name == "cut_after";
    } else if (name == "stall")
        set->stall = value == "1";
    else if (name == "hold")
        set->hold = n;
    else if (name == "exists")
        set->exists = value == "1";
    else if (name == "rate")
        set->rate = n;
    else if (name == "length")
        set->length = n;
    else if (name == "rawreply")
        set->rawreply = value;
    else if (name == "bighead")
        set->bighead = n;
    else if (name == "validators")
        set->noValidators = value == "0";
    else if (name == "range_reply")
        set->rangeReply = value;
    else if (name == "change")
        set->change = value == "1";
    else if (name == "hold_head")
        set->holdHead = value == "1";
    else if (name == "keepalive")
        set->keepalive = value;
}

}  // namespace

bool FaultTable::IsFaultName(const std::string& name) { return FindFault(name) != nullptr; }

bool FaultTable::Add(const std::vector<std::pair<std::string, std::string>>& items, std::string* error) {
    unsigned explicitKinds = 0;
    long long count = -1;
    std::vector<Entry> batch;
    for (const auto& item : items) {
        if (item.first == "target") {
            if (!ParseKinds(item.second, &explicitKinds)) {
                *error = "target takes a comma list of upload, exists, download, ranged, all";
                return false;
            }
        } else if (item.first == "count") {
            uint64_t n = 0;
            if (!ParseUint64(item.second, &n) || n == 0) {
                *error = "count takes a number above 0";
                return false;
            }
            count = static_cast<long long>(n);
        } else {
            const FaultName* f = FindFault(item.first);
            if (f == nullptr) {
                *error = "unknown fault \"" + item.first + "\"";
                return false;
            }
            if (!CheckValue(*f, item.second, error)) return false;
            batch.push_back(Entry{item.first, item.second, f->defaultKinds, -1});
        }
    }
    if (batch.empty()) {
        *error = "no fault given";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : batch) {
        if (explicitKinds != 0) e.kinds = explicitKinds;
        e.remaining = count;
        entries_.push_back(std::move(e));
    }
    return true;
}

void FaultTable::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}

FaultSet FaultTable::Take(RequestKind kind) {
    FaultSet set;
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    for (auto& e : entries_) {
        if ((e.kinds & kind) == 0) {
            kept.push_back(std::move(e));
            continue;
        }
        Apply(e.name, e.value, &set);
        if (e.remaining > 0) --e.remaining;
        if (e.remaining != 0) kept.push_back(std::move(e));
    }
    entries_ = std::move(kept);
    return set;
}

}  // namespace mailserver

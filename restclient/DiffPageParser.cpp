#include "restclient/DiffPageParser.h"

#include <simdjson.h>

#include <cstring>

#include "restclient/NutanixException.h"
#include "restclient/Timestamp.h"

namespace afs_rest {
namespace {

namespace ondemand = simdjson::ondemand;
using model::Object_info;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw NutanixException(where + ": " + what);
}

[[noreturn]] void Fail(const std::string& where, simdjson::error_code error) {
    Fail(where.empty() ? std::string("body") : where, error == simdjson::INCORRECT_TYPE
                                                          ? std::string("wrong type")
                                                          : std::string(simdjson::error_message(error)));
}

// Member names are built only on the failure path, so the hot path pays nothing.
std::string ObjectMember(size_t index, std::string_view key) {
    return "object_list[" + std::to_string(index) + "]." + std::string(key);
}

// A member that is null is absent, as if the server had left it out.
bool IsNull(ondemand::value& value) {
    bool bNull = false;
    return value.is_null().get(bNull) == simdjson::SUCCESS && bNull;
}

// False for null; the text otherwise.
bool ReadString(ondemand::value& value, size_t index, std::string_view key, std::string_view& text) {
    simdjson::error_code error = value.get_string().get(text);
    if (error && IsNull(value)) return false;
    if (error) Fail(ObjectMember(index, key), error);
    return true;
}

// "\uD800" to "\uDFFF": half of a UTF-16 surrogate pair.
bool HoldsSurrogateEscape(std::string_view raw) {
    for (size_t uAt = raw.find("\\u"); uAt != std::string_view::npos && uAt + 3 < raw.size();
         uAt = raw.find("\\u", uAt + 1)) {
        const char c = raw[uAt + 2], next = raw[uAt + 3];
        if ((c == 'd' || c == 'D') && std::strchr("89abcdefABCDEF", next) != nullptr && next != '\0')
            return true;
    }
    return false;
}

// Paths longer than this are no name on any file system; only their start
// is copied, so a server's 200 MB path costs no second copy.
constexpr size_t kMaxPathText = 64 * 1024;
constexpr size_t kKeptOfUnreadable = 512;

// A path that no name can be made of does not fail the page: the object is
// marked, and the plug-in skips and counts it. False for null.
bool ReadPath(ondemand::value& value, size_t index, std::string_view key, Object_info& info,
              std::string& target) {
    std::string_view text;
    simdjson::error_code error = value.get_string().get(text);
    if (error == simdjson::STRING_ERROR) {
        std::string_view raw = value.raw_json_token();
        if (!HoldsSurrogateEscape(raw)) Fail(ObjectMember(index, key), error);
        raw.remove_prefix(raw.empty() ? 0 : 1);
        const size_t uEnd = raw.rfind('"');
        target.assign(
            raw.substr(0, std::min(uEnd == std::string_view::npos ? raw.size() : uEnd, kKeptOfUnreadable)));
        info.setUnreadablePath(true);
        return true;
    }
    if (error && IsNull(value)) return false;
    if (error) Fail(ObjectMember(index, key), error);
    if (text.size() > kMaxPathText) {
        text = text.substr(0, kKeptOfUnreadable);
        info.setUnreadablePath(true);
    }
    target.assign(text);
    return true;
}

// Sizes and inode numbers are never negative; a negative one is damage, and
// letting it through would corrupt the backup's records.
bool ReadCount(ondemand::value& value, size_t index, std::string_view key, int64_t& number) {
    simdjson::error_code error = value.get_int64().get(number);
    uint64_t unsignedNumber = 0;
    if (error == simdjson::INCORRECT_TYPE && value.get_uint64().get(unsignedNumber) == simdjson::SUCCESS)
        error = simdjson::NUMBER_OUT_OF_RANGE;  // above int64's range
    if (error == simdjson::INCORRECT_TYPE && IsNull(value)) return false;
    if (error == simdjson::NUMBER_OUT_OF_RANGE)
        Fail(ObjectMember(index, key), "out of range (0 to 9223372036854775807)");
    if (error) Fail(ObjectMember(index, key), error);
    if (number < 0) Fail(ObjectMember(index, key), std::to_string(number) + " is out of range");
    return true;
}

inline bool SameText(const char* a, const char* b, size_t length) {
    if (length == 20) {  // "YYYY-MM-DDTHH:MM:SSZ", by far the most common form
        uint64_t a0, a1, b0, b1;
        uint32_t a2, b2;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + 8, 8);
        std::memcpy(&b1, b + 8, 8);
        std::memcpy(&a2, a + 16, 4);
        std::memcpy(&b2, b + 16, 4);
        return a0 == b0 && a1 == b1 && a2 == b2;
    }
    return std::memcmp(a, b, length) == 0;
}

// The four timestamps of an object, and those of neighbouring objects, are
// often the same text: remember the last one parsed.
struct TimeCache {
    char szText[32];
    size_t nLength = 0;
    utility::datetime time;
};

// One cache per timestamp member: neighbouring objects tend to repeat each
// member's value (files created together, touched together).
struct TimeCaches {
    TimeCache access, change, creation, modification;
};

// False for null and for the empty text: the server knows no such time, and
// an absent time is what the plug-in passes on as 0, wherever it comes.
bool ReadTime(ondemand::value& value, size_t index, std::string_view key, TimeCache& cache,
              utility::datetime& time) {
    std::string_view text;
    if (!ReadString(value, index, key, text) || text.empty()) return false;
    if (text.size() == cache.nLength && SameText(text.data(), cache.szText, text.size())) {
        time = cache.time;
        return true;
    }
    if (!ParseIso8601Utc(text.data(), text.size(), time))
        Fail(ObjectMember(index, key),
             "\"" + std::string(text.substr(0, 40)) + "\" is not an ISO-8601 UTC time");
    if (text.size() < sizeof(cache.szText)) {
        std::memcpy(cache.szText, text.data(), text.size());
        cache.nLength = text.size();
        cache.time = time;
    }
    return true;
}

// A raw key is followed by its closing quote inside the padded document, so
// comparing the name and the quote with a fixed-size compare is safe, and
// the compiler turns it into a few loads instead of a call per member.
template <size_t N>
inline bool KeyIs(ondemand::raw_json_string key, const char (&nameAndQuote)[N]) {
    return std::memcmp(key.raw(), nameAndQuote, N - 1) == 0;
}

void ReadObject(ondemand::value& item, size_t index, Object_info& info, TimeCaches& caches) {
    ondemand::object json;
    simdjson::error_code error = item.get_object().get(json);
    if (error) Fail("object_list[" + std::to_string(index) + "]", error);
    for (auto field : json) {
        ondemand::raw_json_string rawKey;
        error = field.key().get(rawKey);
        if (error) Fail("object_list[" + std::to_string(index) + "]", error);
        ondemand::value value;
        error = field.value().get(value);
        if (error) Fail("object_list[" + std::to_string(index) + "]", error);
        // Raw keys: the protocol's names need no unescaping. Branching on the
        // first letter first spares most of the comparisons on this hot path.
        std::string_view text;
        int64_t number = 0;
        utility::datetime time;
        switch (rawKey.raw()[0]) {
            case 'p':
                if (KeyIs(rawKey, "path\"") && !ReadPath(value, index, "path", info, info.editPath()))
                    info.unsetPath();
                break;
            case 'o':
                if (KeyIs(rawKey, "old_path\"")) {
                    if (!ReadPath(value, index, "old_path", info, info.editOldPath())) info.unsetOldPath();
                } else if (KeyIs(rawKey, "object_type\"")) {
                    // Any text passes: the plug-in files unknown types as regular files.
                    if (ReadString(value, index, "object_type", text)) info.editObjectType().assign(text);
                } else if (KeyIs(rawKey, "operation_type\"")) {
                    // Any text passes: the plug-in gives unknown operations change type 0.
                    if (ReadString(value, index, "operation_type", text))
                        info.editOperationType().assign(text);
                }
                break;
            case 's':
                if (KeyIs(rawKey, "size\"") && ReadCount(value, index, "size", number)) info.setSize(number);
                break;
            case 'i':
                if (KeyIs(rawKey, "inode_number\"") && ReadCount(value, index, "inode_number", number))
                    info.setInodeNumber(number);
                break;
            case 'a':
                if (KeyIs(rawKey, "access_timestamp\"") &&
                    ReadTime(value, index, "access_timestamp", caches.access, time))
                    info.setAccessTimestamp(time);
                break;
            case 'c':
                if (KeyIs(rawKey, "change_timestamp\"")) {
                    if (ReadTime(value, index, "change_timestamp", caches.change, time))
                        info.setChangeTimestamp(time);
                } else if (KeyIs(rawKey, "creation_timestamp\"")) {
                    if (ReadTime(value, index, "creation_timestamp", caches.creation, time))
                        info.setCreationTimestamp(time);
                }
                break;
            case 'm':
                if (KeyIs(rawKey, "modification_timestamp\"") &&
                    ReadTime(value, index, "modification_timestamp", caches.modification, time))
                    info.setModificationTimestamp(time);
                break;
            default:
                break;
        }
        // Unknown members are skipped by the iteration itself.
    }
}

bool ReadBool(ondemand::value& value, const char* key, bool& flag) {
    simdjson::error_code error = value.get_bool().get(flag);
    if (error && IsNull(value)) return false;
    if (error) Fail(key, error);
    return true;
}

}  // namespace

struct CDiffPageParser::Impl {
    ondemand::parser parser;
    std::string strPadded;
    size_t nBodySize = 0;

    void Run(const char* data, size_t size, size_t capacity,
             model::Mount_target_snapshot_diff_tracking_output& page) {
        // The previous page's objects are refilled when nobody else holds
        // them: a page of 3000 objects then costs no allocation at all.
        std::vector<std::shared_ptr<Object_info>> listRecycled;
        listRecycled.swap(page.editObjectList());
        page = model::Mount_target_snapshot_diff_tracking_output();
        page.editObjectList().swap(listRecycled);
        page.unsetObjectList();
        nBodySize = size;
        ondemand::document document;
        simdjson::error_code error = parser.iterate(data, size, capacity).get(document);
        if (error) Fail("body", error);
        ondemand::object root;
        error = document.get_object().get(root);
        if (error) Fail("body", error);
        for (auto field : root) {
            ondemand::raw_json_string rawKey;
            error = field.key().get(rawKey);
            if (error) Fail("body", error);
            ondemand::value value;
            error = field.value().get(value);
            if (error) Fail("body", error);
            bool flag = false;
            if (rawKey == "is_last_page") {
                if (ReadBool(value, "is_last_page", flag)) page.setIsLastPage(flag);
            } else if (rawKey == "should_retry_page") {
                if (ReadBool(value, "should_retry_page", flag)) page.setShouldRetryPage(flag);
            } else if (rawKey == "next_page_token") {
                std::string_view text;
                error = value.get_string().get(text);
                if (error && IsNull(value)) continue;
                if (error) Fail("next_page_token", error);
                page.setNextPageToken(std::string(text));
            } else if (rawKey == "object_list") {
                if (!IsNull(value)) ReadObjects(value, page);
            }
        }
        if (!page.objectListIsSet()) {  // no recycled object may pose as this page's
            page.editObjectList().clear();
            page.unsetObjectList();
        }
        // On-Demand stops at the root's closing brace; whatever follows it
        // means the body is not one JSON document.
        const char* trailing = nullptr;
        if (document.current_location().get(trailing) == simdjson::SUCCESS)
            Fail("body", "content after the JSON document");
    }

    void ReadObjects(ondemand::value& value, model::Mount_target_snapshot_diff_tracking_output& page) {
        ondemand::array list;
        simdjson::error_code error = value.get_array().get(list);
        if (error) Fail("object_list", error);
        std::vector<std::shared_ptr<Object_info>>& objects = page.editObjectList();
        // A typical object takes some 350 bytes: reserve once instead of regrowing.
        objects.reserve(nBodySize / 350);
        size_t index = 0;
        TimeCaches caches;
        for (auto element : list) {
            ondemand::value item;
            error = element.get(item);
            if (error) Fail("object_list[" + std::to_string(index) + "]", error);
            if (index == objects.size()) objects.push_back(nullptr);
            std::shared_ptr<Object_info>& info = objects[index];
            if (info && info.use_count() == 1) {
                info->recycle();
            } else {
                info = std::make_shared<Object_info>();
            }
            ReadObject(item, index, *info, caches);
            ++index;
        }
        objects.resize(index);
    }
};

CDiffPageParser::CDiffPageParser() : ptrImpl(new Impl) {}
CDiffPageParser::~CDiffPageParser() = default;

void CDiffPageParser::Parse(const char* data, size_t size,
                            model::Mount_target_snapshot_diff_tracking_output& page) {
    std::string& padded = ptrImpl->strPadded;
    if (padded.capacity() < size + simdjson::SIMDJSON_PADDING)
        padded.reserve(size + simdjson::SIMDJSON_PADDING);
    padded.assign(data, size);
    ptrImpl->Run(padded.data(), padded.size(), padded.capacity(), page);
}

void CDiffPageParser::ParseInPlace(std::string& body,
                                   model::Mount_target_snapshot_diff_tracking_output& page) {
    if (body.capacity() < body.size() + simdjson::SIMDJSON_PADDING)
        body.reserve(body.size() + simdjson::SIMDJSON_PADDING);
    ptrImpl->Run(body.data(), body.size(), body.capacity(), page);
}

void ParseDiffPage(const char* data, size_t size, model::Mount_target_snapshot_diff_tracking_output& page) {
    thread_local CDiffPageParser parser;
    parser.Parse(data, size, page);
}

}  // namespace afs_rest

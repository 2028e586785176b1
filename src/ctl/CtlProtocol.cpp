#include "ctl/CtlProtocol.h"

#include <json/writer.h>

#include "platform/JsonFile.h"

namespace m470::ctl {
namespace {

constexpr size_t kMaxWords = 64;

std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

}  // namespace

std::string FormatRequest(const std::vector<std::string>& words) {
    Json::Value array(Json::arrayValue);
    for (const std::string& word : words) array.append(word);
    return std::string(kRequestWord) + " " + Compact(array) + "\n";
}

std::optional<std::vector<std::string>> ParseRequest(const std::string& line) {
    const std::string prefix = std::string(kRequestWord) + " ";
    if (line.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string_view body(line);
    body.remove_prefix(prefix.size());
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
    bool ok = false;
    const Json::Value array = ParseJson(body, &ok);
    if (!ok || !array.isArray() || array.size() > kMaxWords) return std::nullopt;
    std::vector<std::string> words;
    for (const Json::Value& word : array) {
        if (!word.isString()) return std::nullopt;
        words.push_back(word.asString());
    }
    return words;
}

std::string FormatReply(const Reply& reply) {
    Json::Value object(Json::objectValue);
    object["exit"] = reply.exitCode;
    object["out"] = reply.out;
    object["err"] = reply.err;
    return Compact(object) + "\n";
}

std::optional<Reply> ParseReply(const std::string& line) {
    bool ok = false;
    const Json::Value object = ParseJson(line, &ok);
    if (!ok || !object.isObject() || !object["exit"].isInt() || !object["out"].isString() || !object["err"].isString())
        return std::nullopt;
    return Reply{object["exit"].asInt(), object["out"].asString(), object["err"].asString()};
}

}  // namespace m470::ctl

// SPDX-License-Identifier: Apache-2.0
// Reading a configuration document: the text in bounded memory, then the JSON through a SAX
// handler that builds the value itself, so that a key given twice, a number beyond a double,
// too many values or too deep a nesting are refused where they occur, with a JSON pointer,
// instead of silently kept (the last key winning) or thrown out of the tool.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <set>

#include "client/config/config.h"

namespace share::client::config {
namespace {

class Builder : public nlohmann::json_sax<Json> {
  public:
    Builder(std::string_view text, std::vector<Problem> *problems)
        : text_(text), problems_(problems) {}
    Json root;

    bool null() override { return Place(nullptr); }
    bool boolean(bool v) override { return Place(v); }
    bool number_integer(number_integer_t v) override { return Place(v); }
    bool number_unsigned(number_unsigned_t v) override { return Place(v); }
    bool number_float(number_float_t v, const string_t &) override { return Place(v); }
    bool string(string_t &v) override { return Place(std::move(v)); }
    bool binary(binary_t &) override { return Place(nullptr); }  // not produced by JSON text
    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }

    bool key(string_t &k) override {
        Frame &f = frames_.back();
        f.key = std::move(k);
        f.duplicate = f.node->is_object() && !f.keys.insert(f.key).second;
        if (f.duplicate) Add(Pointer(), "\"" + f.key + "\" is given twice in one object");
        return true;
    }

    bool parse_error(std::size_t position, const std::string &token,
                     const nlohmann::detail::exception &e) override {
        if (e.id == 406)  // out_of_range: a number no double can hold
            Add("", At(Start(position, token)) + ": the number " + token + " is out of range");
        else
            Add("", "not JSON: " + At(Start(position, token)) + ": " + Expected(e.what()));
        return false;
    }

  private:
    struct Frame {
        Json *node = nullptr;
        std::string key;
        bool duplicate = false;
        std::set<std::string> keys;  // an ordered object's own lookup is linear
        Json scratch;                // a duplicate key's value, read and dropped
    };

    void Add(std::string pointer, std::string message) {
        problems_->push_back({std::move(pointer), std::move(message)});
    }

    // Where the next value goes, as a JSON pointer.
    std::string Pointer() const {
        std::string p;
        for (size_t i = 0; i < frames_.size(); ++i) {
            const Frame &f = frames_[i];
            const bool last = i + 1 == frames_.size();
            if (f.node->is_array())
                p += "/" + std::to_string(f.node->size() - (last ? 0 : 1));
            else
                p += "/" + PointerToken(f.key);
        }
        return p;
    }

    Json *Slot(Json &&v) {
        if (frames_.empty()) {
            root = std::move(v);
            return &root;
        }
        Frame &f = frames_.back();
        if (f.node->is_array()) {
            f.node->push_back(std::move(v));
            return &f.node->back();
        }
        if (f.duplicate) {
            f.scratch = std::move(v);
            return &f.scratch;
        }
        // Appended past the ordered object's linear search: the key is known to be new.
        auto &members = static_cast<std::vector<std::pair<const std::string, Json>> &>(
            f.node->get_ref<Json::object_t &>());
        members.emplace_back(f.key, std::move(v));
        return &members.back().second;
    }

    bool Count() {
        if (++values_ <= kMaxDocumentValues) return true;
        Add(Pointer(), "the document holds more than " + std::to_string(kMaxDocumentValues) +
                           " values; nothing after this was read");
        return false;
    }

    bool Place(Json &&v) {
        if (!Count()) return false;
        Slot(std::move(v));
        return true;
    }

    bool Open(Json &&v) {
        if (!Count()) return false;
        if (frames_.size() >= kMaxDocumentDepth) {
            Add(Pointer(), "nested deeper than " + std::to_string(kMaxDocumentDepth) + " levels");
            return false;
        }
        Json *node = Slot(std::move(v));
        frames_.emplace_back().node = node;
        return true;
    }

    bool Close() {
        frames_.pop_back();
        return true;
    }

    // Where the token read last began (its text as read, ending about position): the place a
    // reader looks at.
    size_t Start(size_t position, const std::string &token) const {
        const size_t at = token.empty() ? std::string_view::npos : text_.rfind(token, position);
        if (at != std::string_view::npos) return at;
        return position > 0 ? std::min(position - 1, text_.size()) : 0;  // the last byte read
    }

    // "line L, column C" of a byte offset (both from 1; columns count bytes).
    std::string At(size_t position) const {
        position = std::min(position, text_.size());
        size_t line = 1, start = 0;
        for (size_t i = 0; i < position; ++i)
            if (text_[i] == '\n') {
                ++line;
                start = i + 1;
            }
        const size_t column = position - start + 1;
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    // What the parser found and expected, without its exception's name and its own position.
    static std::string Expected(std::string what) {
        if (const size_t at = what.find(" - "); at != std::string::npos) what.erase(0, at + 3);
        if (const size_t at = what.find("; last read: "); at != std::string::npos) {
            const size_t end = what.find("; expected", at);
            what.erase(at, end == std::string::npos ? std::string::npos : end - at);
        }
        return what;
    }

    std::string_view text_;
    std::vector<Problem> *problems_;
    std::deque<Frame> frames_;  // a deque: a frame's scratch stays where a child points at it
    size_t values_ = 0;
};

}  // namespace

std::optional<std::string> ReadDocumentText(const std::string &file, std::string *error) {
    const int fd = file == "-" ? STDIN_FILENO : open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot read " + file + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[1 << 16];
    while (text.size() <= kMaxDocumentBytes) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "cannot read " + file + ": " + std::strerror(errno);
            if (fd != STDIN_FILENO) close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buffer,
                    std::min<size_t>(static_cast<size_t>(n), kMaxDocumentBytes + 1 - text.size()));
    }
    if (fd != STDIN_FILENO) close(fd);
    return text;
}

std::optional<Json> ParseDocument(std::string_view text, std::vector<Problem> *problems) {
    const size_t before = problems->size();
    if (text.size() > kMaxDocumentBytes) {
        problems->push_back(
            {"", "the document is larger than " + std::to_string(kMaxDocumentBytes) + " bytes"});
        return std::nullopt;
    }
    Builder builder(text, problems);
    const bool read = Json::sax_parse(text, &builder);
    if (!read || problems->size() != before) return std::nullopt;
    return std::move(builder.root);
}

}  // namespace share::client::config

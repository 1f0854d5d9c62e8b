#pragma once

#include <string>
#include <utility>

namespace orvex {

// The outcome of an operation that can fail for a reason the user should see: success, or a
// failure with the title and message of the alert that tells it. The layer that knows the
// reason makes it; the layer that shows it (an alert, a line on standard error) reads it.
class Result {
public:
    static Result success() { return Result(); }
    static Result failure(std::string title, std::string message) {
        Result result;
        result.mOk = false;
        result.mTitle = std::move(title);
        result.mMessage = std::move(message);
        return result;
    }

    bool ok() const { return mOk; }
    explicit operator bool() const { return mOk; }
    const std::string& title() const { return mTitle; }
    const std::string& message() const { return mMessage; }
    // "title: message", or the message alone when it has no title; empty on success.
    std::string text() const { return mTitle.empty() ? mMessage : mTitle + ": " + mMessage; }

private:
    Result() = default;
    bool mOk = true;
    std::string mTitle;
    std::string mMessage;
};

}  // namespace orvex

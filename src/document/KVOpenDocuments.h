#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Result.h"

namespace orvex {

class KVWaveDocument;

// The application's open documents and the sequence that opens a chosen sound file: the file
// checks (readable, at most two channels, the sample-rate warning), a file already open brought
// back instead of opened twice, then a new document that opens it. Files are compared by their
// canonical paths, so "./a.wav", a symbolic link to it and its absolute path are one file.
// Threads: main thread only.
class KVOpenDocuments {
public:
    struct Opened {
        Result result = Result::success();
        KVWaveDocument* document = nullptr;  // the new or the already open document
        bool alreadyOpen = false;            // brought to the front with a beep; nothing created
    };
    // Makes the document (and its window) once the checks have passed; null refuses, with the
    // reason set in refusal.
    using DocumentMaker = std::function<std::unique_ptr<KVWaveDocument>(Result& refusal)>;

    KVOpenDocuments() = default;
    // Closes every document (see close).
    ~KVOpenDocuments();
    KVOpenDocuments(const KVOpenDocuments&) = delete;
    KVOpenDocuments& operator=(const KVOpenDocuments&) = delete;

    Opened openDocumentAtPath(const std::string& path, const DocumentMaker& make);
    // The open document of the file at path (under any spelling), or null.
    KVWaveDocument* documentForPath(const std::string& path) const;
    // Drops and destroys the document. Its converted working copy is kept while another open
    // document works on the same copy.
    void close(KVWaveDocument* document);
    std::size_t count() const { return mDocuments.size(); }
    const std::vector<std::unique_ptr<KVWaveDocument>>& documents() const { return mDocuments; }

    // The path with ".", "..", and symbolic links resolved (as far as it exists).
    static std::string canonicalPath(const std::string& path);

private:
    std::vector<std::unique_ptr<KVWaveDocument>> mDocuments;
};

}  // namespace orvex

#include "document/KVOpenDocuments.h"

#include <algorithm>
#include <filesystem>

#include "document/KVOpenFileCheck.h"
#include "document/KVWaveDocument.h"
#include "platform/Platform.h"

namespace orvex {

KVOpenDocuments::~KVOpenDocuments() {
    while (!mDocuments.empty()) close(mDocuments.back().get());
}

std::string KVOpenDocuments::canonicalPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    return error ? path : canonical.string();
}

KVWaveDocument* KVOpenDocuments::documentForPath(const std::string& path) const {
    const std::string wanted = canonicalPath(path);
    for (const auto& document : mDocuments)
        if (canonicalPath(document->sourcePath()) == wanted) return document.get();
    return nullptr;
}

KVOpenDocuments::Opened KVOpenDocuments::openDocumentAtPath(const std::string& path, const DocumentMaker& make) {
    Opened opened;
    const KVOpenFileCheck check = KVOpenFileCheck::checkFileAtPath(path);
    if (!check.canOpen()) {
        opened.result = check.reason;
        return opened;
    }
    if (KVWaveDocument* open = documentForPath(path)) {
        Platform::shared().beep();
        opened.document = open;
        opened.alreadyOpen = true;
        return opened;
    }
    Result refusal = Result::failure("The document could not be created", path);
    std::unique_ptr<KVWaveDocument> document = make ? make(refusal) : nullptr;
    if (!document) {
        opened.result = refusal;
        return opened;
    }
    opened.result = document->openFileAtPath(path);
    if (!opened.result) return opened;
    opened.document = document.get();
    mDocuments.push_back(std::move(document));
    return opened;
}

void KVOpenDocuments::close(KVWaveDocument* document) {
    const auto found = std::find_if(mDocuments.begin(), mDocuments.end(),
                                    [document](const auto& open) { return open.get() == document; });
    if (found == mDocuments.end()) return;
    std::unique_ptr<KVWaveDocument> closing = std::move(*found);
    mDocuments.erase(found);
    const bool shared = std::any_of(mDocuments.begin(), mDocuments.end(), [&closing](const auto& open) {
        return !closing->convertedCopyPath().empty() && open->workingFilePath() == closing->workingFilePath();
    });
    if (shared) closing->keepConvertedCopy();
}

}  // namespace orvex

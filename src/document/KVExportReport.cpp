#include "document/KVExportReport.h"

namespace orvex {

bool KVExportReport::leftFiles() const {
    if (outcome == KVExportWriter::Outcome::Written) return true;
    return outcome == KVExportWriter::Outcome::Cancelled && kind != Kind::Stems;
}

std::vector<std::string> KVExportReport::clippingSentences() const {
    std::vector<std::string> sentences;
    if (!leftFiles()) return sentences;
    const std::string clipped = std::to_string(clippedSamples);
    if (clippedSamples > 0 && kind != Kind::Stems) sentences.push_back("The export clipped " + clipped + " samples");
    if (clippedSamples > 0 && kind == Kind::Stems)
        sentences.push_back("The selection clipped " + clipped + " samples; the rest stem holds the difference");
    if (unstorableSamples > 0)
        sentences.push_back(std::to_string(unstorableSamples) +
                            " samples of the rest lay outside the 24-bit range and were clipped; there the stems "
                            "do not add up to the source");
    return sentences;
}

std::string KVExportReport::clippingText() const {
    std::string text;
    for (const std::string& sentence : clippingSentences()) text += (text.empty() ? "" : "; ") + sentence;
    return text;
}

}  // namespace orvex

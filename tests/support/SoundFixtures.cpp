#include "support/SoundFixtures.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace orvex::test {

namespace {

const char* kRiffScript = R"PY(
import struct, sys, wave
path, out = sys.argv[1], sys.argv[2]
data = open(path, 'rb').read()
assert data[:4] == b'RIFF' and data[8:12] == b'WAVE', 'not a RIFF WAVE'
assert struct.unpack('<I', data[4:8])[0] + 8 == len(data), 'RIFF size does not match file length'
pos = 12
while pos < len(data):
    cid = data[pos:pos + 4].decode('latin1')
    size = struct.unpack('<I', data[pos + 4:pos + 8])[0]
    body = data[pos + 8:pos + 8 + size]
    assert len(body) == size, 'chunk runs past the end'
    print('chunk', cid.strip(), size)
    if cid != 'data':
        open(out + '.' + cid.strip(), 'wb').write(body)
    pos += 8 + size + (size & 1)
assert pos == len(data), 'chunks do not end at the end of the file'
w = wave.open(path)
print('format', w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
raw = w.readframes(w.getnframes())
n = w.getsampwidth()
vals = [int.from_bytes(raw[i:i + n], 'little', signed=(n > 1)) for i in range(0, len(raw), n)]
open(out + '.samples', 'wb').write(struct.pack('<%di' % len(vals), *vals))
print('ok')
)PY";

void putLE(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xff));
}

void putChunk(Bytes& out, const std::string& id, const Bytes& body) {
    out.insert(out.end(), id.begin(), id.end());
    putLE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
}

}  // namespace

void writeRiffWave(const std::string& path, int channels, int rate, int bits, const std::vector<std::int32_t>& samples,
                   const std::vector<RawChunk>& chunks) {
    const int width = bits / 8;
    Bytes fmt;
    putLE(fmt, 1, 2);
    putLE(fmt, channels, 2);
    putLE(fmt, rate, 4);
    putLE(fmt, static_cast<std::uint64_t>(rate) * channels * width, 4);
    putLE(fmt, channels * width, 2);
    putLE(fmt, bits, 2);
    Bytes audio;
    for (std::int32_t s : samples) putLE(audio, static_cast<std::uint32_t>(s), width);
    Bytes body = {'W', 'A', 'V', 'E'};
    putChunk(body, "fmt ", fmt);
    for (const RawChunk& chunk : chunks) putChunk(body, chunk.id, chunk.bytes);
    putChunk(body, "data", audio);
    Bytes file = {'R', 'I', 'F', 'F'};
    putLE(file, body.size(), 4);
    file.insert(file.end(), body.begin(), body.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
}

PythonWaveView readWithPython(const std::string& path) {
    PythonWaveView view;
    const std::string script = path + ".check.py", out = path + ".py";
    std::ofstream(script) << kRiffScript;
    int code = 0;
    // Debian's interpreter directly: version-manager shims cost a second per start.
    const std::string python = haveTool("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    view.output = runCommand(python + " '" + script + "' '" + path + "' '" + out + "' 2>&1", &code);
    std::istringstream lines(view.output);
    for (std::string word; lines >> word;) {
        if (word == "chunk") {
            std::string id;
            std::size_t size = 0;
            lines >> id >> size;
            view.chunkOrder.push_back(id);
            const std::vector<char> bytes = fileBytes(out + "." + id);
            if (id != "data") view.chunks[id] = Bytes(bytes.begin(), bytes.end());
        } else if (word == "format") {
            lines >> view.channels >> view.sampleWidth >> view.rate >> view.frames;
        } else if (word == "ok") {
            view.ok = code == 0;
        }
    }
    // Little-endian 32-bit integers, as this machine holds them (the store asserts the same).
    const std::vector<char> raw = fileBytes(out + ".samples");
    view.samples.resize(raw.size() / 4);
    if (!view.samples.empty()) std::memcpy(view.samples.data(), raw.data(), view.samples.size() * 4);
    return view;
}

bool encodeWithFfmpeg(const std::string& input, const std::string& output, const std::string& options) {
    if (!haveTool("ffmpeg")) return false;
    int code = 0;
    runCommand("ffmpeg -nostdin -y -loglevel error -i '" + input + "' " + options + " '" + output + "' 2>&1", &code);
    return code == 0;
}

Bytes patternBytes(std::size_t length, std::uint8_t start) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(start + i * 37);
    return bytes;
}

double amplitudeAt(const std::vector<float>& x, double f, double rate) {
    double re = 0.0, im = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double phase = 2.0 * M_PI * f * static_cast<double>(i) / rate;
        re += x[i] * std::cos(phase);
        im += x[i] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(x.size());
}

}  // namespace orvex::test

// The JX3 controller's maintenance: firmware download through its loader and
// the self-test.
#include <algorithm>

#include "loom/jx3/jx3.h"
#include "loom/jx3/protocol.h"

namespace wp {

using namespace jx3;

DownloadResult Tjx3::downloadFirmware(const HexFile& file, int portNumber) {
    RunFlags& flags = env_.flags;
    UserInterface& ui = flags.ui();
    ClosePort();
    flags.stopRequest = false;
    if (!OpenPort(portNumber, true)) return DownloadResult::CannotOpen;

    WriteCommand("");
    if (ReadResponse(kLoaderHelloMs) != kOk) return DownloadResult::NoAnswer;
    // A command the loader does not answer ends the preamble; the lines go out anyway.
    for (const char* command : kLoaderPreamble) {
        WriteCommand(command);
        if (ReadResponse(kLoaderCommandMs) != kOk) break;
    }

    DownloadResult result = DownloadResult::Done;
    ui.setBusy(true);
    size_t sent = 0;
    int shown = -1;
    for (const std::string& line : file.lines) {
        sent += line.size() + 2;
        if (!WriteCommand(line)) {
            ui.errorBox("Download error!");
            result = DownloadResult::WriteFailed;
            break;
        }
        const int percent =
            file.size == 0 ? 100 : static_cast<int>(std::min<size_t>(100, sent * 100 / file.size));
        // Only a new multiple of 5 changes what the status line shows.
        if (percent % 5 == 0 && percent != shown) {
            shown = percent;
            ui.setStatus(std::to_string(percent) + "%");
            ui.showProgress(percent);
        }
        flags.pump();
    }
    ui.setStatus("");
    ui.showProgress(-1);
    ui.setBusy(false);

    if (result == DownloadResult::Done) {
        WriteCommand(kLoaderEnd);
        ReadResponse(kLoaderEndMs);
    }
    return result;
}

bool Tjx3::startSelfTest() {
    return SendFrame(kSelfTest, 1, 0) == kOk;
}

SelfTestAnswer Tjx3::awaitSelfTestAnswer(int timeoutMs) {
    const int r = ReadResponse(timeoutMs);
    if (r == kStopped) return {SelfTestAnswer::Kind::Stopped};
    if (r != kOk) return {};
    return {SelfTestAnswer::Kind::Answer, ResponseByte(0), ResponseByte(1)};
}

void Tjx3::stopSelfTest() {
    SendFrame(kReset, kStopParameter, 0);
}

void Tjx3::abortSelfTest() {
    SendFrame(kReset, 0, 0);
}

}  // namespace wp

// The serial component's property setters (those that need the device
// released are refused while it is held; the others store the value and, when
// it changed, apply it to an open port at once) and its write counts.
#include "platform/serial/win32/comm.h"

namespace bridge {

void TCommEventChars::SetXonChar(char value) {
    if (value == xonChar_) return;
    xonChar_ = value;
    owner_.ApplyLineSettings();
}

void TCommEventChars::SetXoffChar(char value) {
    if (value == xoffChar_) return;
    xoffChar_ = value;
    owner_.ApplyLineSettings();
}

void TCustomComm::RefuseWhileHeld() const {
    if (state_ == PortState::Open || state_ == PortState::Closing) {
        RaisePortError("Device already assigned (open)", -1);
    }
}

void TCustomComm::SetDeviceName(const std::string& value) {
    RefuseWhileHeld();
    deviceName_ = value;
}

void TCustomComm::SetMonitorEvents(TCommEventType value) {
    RefuseWhileHeld();
    monitorEvents_ = value;
}

void TCustomComm::SetReadBufSize(std::int32_t value) {
    RefuseWhileHeld();
    settings_.readBufSize = value;
}

void TCustomComm::SetWriteBufSize(std::int32_t value) {
    RefuseWhileHeld();
    writeBufSize_ = value;
}

void TCustomComm::SetWaitChoice(CommWaitChoice value) {
    RefuseWhileHeld();
    waitChoice_ = value;
}

void TCustomComm::SetBaudRate(TBaudRate value) {
    if (value == settings_.baudRate) return;
    settings_.baudRate = value;
    ApplyLineSettings();
}

void TCustomComm::SetParity(TParity value) {
    if (value == settings_.parity) return;
    settings_.parity = value;
    ApplyLineSettings();
}

void TCustomComm::SetStopbits(TStopbits value) {
    if (value == settings_.stopbits) return;
    settings_.stopbits = value;
    ApplyLineSettings();
}

void TCustomComm::SetDatabits(TDatabits value) {
    if (value == settings_.databits) return;
    settings_.databits = value;
    ApplyLineSettings();
}

void TCustomComm::SetOptions(TCommOptions value) {
    if (value == settings_.options) return;
    settings_.options = value;
    ApplyLineSettings();
}

void TCustomComm::SetFlowControl(TFlowControl value) {
    if (value == settings_.flowControl) return;
    settings_.flowControl = value;
    ApplyLineSettings();
}

void TCustomComm::SetCharsTimeOut(std::int32_t value) {
    charsTimeOut_ = value;
    if (state_ == PortState::Open) ApplyTimeouts();
}

std::uint64_t TCustomComm::Written(std::uint8_t tag) const {
    if (tag >= PortWriter::kWriteTags) return 0;
    return writtenBefore_[tag] + (writer_ != nullptr ? writer_->Written(tag) : 0);
}

std::uint64_t TCustomComm::BytesWritten() const {
    return bytesWrittenBefore_ + (writer_ != nullptr ? writer_->BytesWritten() : 0);
}

}  // namespace bridge

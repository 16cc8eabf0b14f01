#include "register/listener.h"

#include "common/path_text.h"

#include "dcmtk/config/osconfig.h"  // first, as DCMTK requires

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <system_error>

#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/dcmlayer.h"
#include "dcmtk/dcmnet/dcmtrans.h"
#include "dcmtk/dcmnet/diutil.h"
#include "dcmtk/dcmnet/scp.h"
#include "dcmtk/oflog/oflog.h"
#include "register/platform.h"

namespace mirelo::registry {
namespace {

// DICOM status codes of a C-STORE response.
constexpr Uint16 kStatusOutOfResources = 0xA700;
constexpr Uint16 kStatusCannotUnderstand = 0xC000;

// Where the listening socket cannot be bound to one address after DCMTK opened it (Windows), each
// connection that arrived on another local address is closed when accepted, before a byte is read.
class BoundLayer : public DcmTransportLayer {
public:
    explicit BoundLayer(std::uint32_t address) : address_(address) {}
    DcmTransportConnection* createConnection(DcmNativeSocketType socket, OFBool /*secure*/) override {
        if (platform::LocalIpv4(static_cast<std::uintptr_t>(socket)) != address_) return nullptr;
        return new DcmTCPConnection(socket);
    }

private:
    std::uint32_t address_;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

class Service : public DcmSCP {
public:
    Service(const ListenerConfig& config, const Receiver& receive, const Logger& log, const std::atomic<bool>& stop)
        : config_(config),
          incomingFile_(config.archive / (".incoming-" + std::to_string(platform::ProcessId()) + ".dcm")),
          receive_(receive),
          log_(log),
          stop_(stop) {}

    // The DICOM library writes a received object through a narrow file name.
    std::optional<std::string> IncomingName() const { return platform::NarrowFileName(incomingFile_); }

protected:
    OFBool checkCalledAETitleAccepted(const OFString& calledAE) override {
        const bool ok = Trimmed(calledAE.c_str()) == config_.aet;
        if (!ok) log_("association refused: called AE title '" + Trimmed(calledAE.c_str()) + "' is not " + config_.aet);
        return ok;
    }

    OFBool checkCallingAETitleAccepted(const OFString& callingAE) override {
        if (config_.allow.empty()) return OFTrue;
        const std::string aet = Trimmed(callingAE.c_str());
        const std::string host = getPeerIP().c_str();
        for (const Caller& c : config_.allow) {
            if (c.aet == aet && (c.host.empty() || c.host == host)) return OFTrue;
        }
        log_("association refused: calling AE title '" + aet + "' from " + host + " is not allowed");
        return OFFalse;
    }

    void notifyAssociationAcknowledge() override {
        log_("association from " + std::string(getPeerAETitle().c_str()) + "@" + getPeerIP().c_str());
    }

    OFCondition handleIncomingCommand(T_DIMSE_Message* message, const DcmPresentationContextInfo& info) override {
        if (message->CommandField != DIMSE_C_STORE_RQ) {
            return DcmSCP::handleIncomingCommand(message, info);  // C-ECHO, or refused as unknown
        }
        T_DIMSE_C_StoreRQ& request = message->msg.CStoreRQ;
        const std::string sopInstance = request.AffectedSOPInstanceUID;
        const std::filesystem::path& incoming = incomingFile_;
        incoming_ = incoming;
        received_ = 0;
        writtenUpTo_.reset();
        OFCondition cond = receiveSTORERequest(request, info.presentationContextID, OFString(IncomingName().value_or("").c_str()));
        incoming_.clear();
        if (cond.bad()) {
            std::error_code ec;
            std::filesystem::remove(incoming, ec);
            log_(std::string("receiving ") + sopInstance + " failed: " + cond.text());
            return cond;
        }
        platform::MakePrivateFile(incoming);
        Uint16 status = STATUS_Success;
        std::string reason;
        std::error_code ec;
        const auto size = writtenUpTo_ ? received_ : std::filesystem::file_size(incoming, ec);
        if (ec || size > config_.maxObjectBytes) {
            std::filesystem::remove(incoming, ec);
            status = kStatusOutOfResources;
            reason = "object of " + std::to_string(size) + " bytes over the limit of " + std::to_string(config_.maxObjectBytes);
            if (writtenUpTo_) log_("C-STORE " + sopInstance + ": written up to byte " + std::to_string(*writtenUpTo_) + " only");
        } else {
            const std::filesystem::path file = ArchiveName(sopInstance);
            std::filesystem::rename(incoming, file, ec);
            if (ec) {
                status = kStatusOutOfResources;
                reason = "cannot be archived: " + ec.message();
            } else {
                const std::string source = "dicom:" + std::string(getPeerAETitle().c_str()) + "@" + getPeerIP().c_str();
                const Verdict verdict = receive_(file, source);
                if (verdict.kind != Verdict::Kind::Stored) {
                    status = verdict.kind == Verdict::Kind::NotAReport ? kStatusCannotUnderstand : kStatusOutOfResources;
                    reason = verdict.reason;
                }
            }
        }
        DcmDataset detail;
        DcmDataset* detailPointer = nullptr;
        if (status != STATUS_Success) {
            // The error comment is at most 64 characters.
            detail.putAndInsertString(DCM_ErrorComment, reason.substr(0, 64).c_str());
            detailPointer = &detail;
            log_("C-STORE " + sopInstance + " refused: " + reason);
        }
        return sendSTOREResponse(info.presentationContextID, request.MessageID, request.AffectedSOPClassUID,
                                 request.AffectedSOPInstanceUID, status, detailPointer);
    }

    // Called after each piece of the data set written to the incoming file: once the object is over
    // the limit, the rest is still read from the network (so that the refusal can be answered on the
    // association) but no longer written.
    void notifyRECEIVEProgress(const unsigned long byteCount) override {
        received_ = byteCount;
        if (incoming_.empty() || writtenUpTo_ || byteCount <= config_.maxObjectBytes) return;
        if (platform::DiscardWritesTo(incoming_)) writtenUpTo_ = byteCount;
    }

    OFBool stopAfterCurrentAssociation() override { return stop_.load(); }
    OFBool stopAfterConnectionTimeout() override { return stop_.load(); }

private:
    // <received time>-<SOP Instance UID>.dcm, numbered when a file of that name is there already.
    std::filesystem::path ArchiveName(const std::string& uid) const {
        std::string safe;
        for (char c : uid) safe += (c >= '0' && c <= '9') || c == '.' ? c : '_';
        const std::tm tm = platform::UtcTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
        std::filesystem::path file = config_.archive / (std::string(stamp) + "-" + safe + ".dcm");
        for (int n = 1; std::filesystem::exists(file); ++n) {
            file = config_.archive / (std::string(stamp) + "-" + safe + "-" + std::to_string(n) + ".dcm");
        }
        return file;
    }

    const ListenerConfig& config_;
    const std::filesystem::path incomingFile_;
    const Receiver& receive_;
    const Logger& log_;
    const std::atomic<bool>& stop_;
    std::filesystem::path incoming_;          // while a C-STORE's data set is received
    std::uintmax_t received_ = 0;             // bytes of it so far
    std::optional<std::uintmax_t> writtenUpTo_;  // where its writing stopped, over the limit
};

}  // namespace

std::optional<Caller> ParseCaller(std::string_view text) {
    Caller caller;
    const auto at = text.find('@');
    caller.aet = std::string(text.substr(0, at));
    if (at != std::string_view::npos) {
        caller.host = std::string(text.substr(at + 1));
        if (!platform::ParseIpv4(caller.host)) return std::nullopt;
    }
    if (caller.aet.empty() || caller.aet.size() > 16 || caller.aet.front() == ' ' || caller.aet.back() == ' ') return std::nullopt;
    for (char c : caller.aet) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return std::nullopt;
    }
    return caller;
}

Result<bool, std::string> Listen(const ListenerConfig& config, const Receiver& receive, const Logger& log,
                                 const std::atomic<bool>& stop) {
    OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
    const auto address = platform::ParseIpv4(config.bind);
    if (!address) {
        return Failure{"--bind \"" + config.bind + "\": not an IPv4 address"};
    }
    // Received files are for this account only, from the first byte.
    if (const auto error = platform::MakePrivateFolder(config.archive)) {
        return Failure{"archive folder " + PathText(config.archive) + ": " + *error};
    }

    Service service(config, receive, log, stop);
    if (!service.IncomingName()) {
        return Failure{"archive folder " + PathText(config.archive) + ": the DICOM library cannot write to a folder of this name"};
    }
    DcmSCPConfig& scp = service.getConfig();
    scp.setPort(config.port);
    scp.setAETitle(config.aet.c_str());
    scp.setHostLookupEnabled(OFFalse);
    // Wake up every second to see whether to stop.
    scp.setConnectionBlockingMode(DUL_NOBLOCK);
    scp.setConnectionTimeout(1);
    scp.setACSETimeout(30);
    scp.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    scp.setDIMSETimeout(60);
    scp.setProgressNotificationMode(OFTrue);
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_BigEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    OFList<OFString> echoSyntaxes;
    echoSyntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    if (scp.addPresentationContext(UID_VerificationSOPClass, echoSyntaxes).bad() ||
        scp.addPresentationContext(UID_XRayRadiationDoseSRStorage, syntaxes).bad()) {
        return Failure{std::string("the presentation contexts could not be set up")};
    }
    BoundLayer layer(*address);
    const bool bound = *address != platform::kAnyAddress;
    if (bound && !platform::kRebindsListeningSocket) scp.setTransportLayer(&layer);
    const OFCondition opened = service.openListenPort();
    if (opened.bad()) return Failure{std::string("port ") + std::to_string(config.port) + ": " + opened.text()};
    if (bound && platform::kRebindsListeningSocket) {
        if (const auto error = platform::RebindListeningSocket(config.port, *address)) {
            return Failure{"--bind " + config.bind + " port " + std::to_string(config.port) + ": " + *error};
        }
    }
    log("listening on " + config.bind + " port " + std::to_string(config.port) + " as " + config.aet);
    const OFCondition cond = service.acceptAssociations();
    if (cond.bad() && cond != NET_EC_StopAfterConnectionTimeout && cond != NET_EC_StopAfterAssociation) {
        return Failure{std::string("port ") + std::to_string(config.port) + ": " + cond.text()};
    }
    log("stopped");
    return true;
}

}  // namespace mirelo::registry

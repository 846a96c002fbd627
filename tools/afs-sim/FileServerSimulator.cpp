#include "tools/afs-sim/FileServerSimulator.h"

#include <httplib.h>
#include <signal.h>  // kill

#include <chrono>
#include <csignal>  // SIGPIPE: a client may close while it is answered
#include <cstdlib>
#include <functional>

#include "restclient/RestOperations.h"
#include "tools/afs-sim/ApiHandlers.h"
#include "tools/afs-sim/ConnectionDrop.h"
#include "tools/afs-sim/DiffStore.h"
#include "tools/afs-sim/FaultInjector.h"
#include "tools/afs-sim/JsonText.h"
#include "tools/afs-sim/PortProbe.h"
#include "tools/afs-sim/RequestLog.h"

namespace afs_sim {
namespace {

constexpr const char* kBasePath = "/api/nutanix/v3";
// With the charset parameter httplib does not compress the answer: over
// loopback, compressing megabyte pages (brotli, as the client offers it)
// costs far more than it saves, and it would dominate every benchmark.
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr unsigned long long kMaxUncheckedBody = 64u << 10;  // bytes read before the credentials count

std::string Base64(const std::string& strText) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut;
    size_t i = 0;
    for (; i + 2 < strText.size(); i += 3) {
        uint32_t u = (uint8_t(strText[i]) << 16) | (uint8_t(strText[i + 1]) << 8) | uint8_t(strText[i + 2]);
        for (int nShift = 18; nShift >= 0; nShift -= 6) strOut.push_back(kAlphabet[(u >> nShift) & 63]);
    }
    if (i + 1 == strText.size()) {
        uint32_t u = uint8_t(strText[i]) << 16;
        strOut += {kAlphabet[(u >> 18) & 63], kAlphabet[(u >> 12) & 63], '=', '='};
    } else if (i + 2 == strText.size()) {
        uint32_t u = (uint8_t(strText[i]) << 16) | (uint8_t(strText[i + 1]) << 8);
        strOut += {kAlphabet[(u >> 18) & 63], kAlphabet[(u >> 12) & 63], kAlphabet[(u >> 6) & 63], '='};
    }
    return strOut;
}

const char* FaultName(EFaultKind eKind) {
    switch (eKind) {
        case EFaultKind::eStatus:
            return "status";
        case EFaultKind::eDrop:
            return "drop";
        case EFaultKind::eDropAfter:
            return "drop_after";
        case EFaultKind::eDropMidBody:
            return "drop_mid_body";
        case EFaultKind::eTruncate:
            return "truncate";
        case EFaultKind::eMalformed:
            return "malformed";
        case EFaultKind::eWrongType:
            return "wrong_type";
        case EFaultKind::eDelay:
            return "delay";
        case EFaultKind::eKill:
            return "kill";
    }
    return "";
}

using afs_rest::ERestOperation;
using afs_rest::RestOperation;

// The member a wrong_type fault changes when the rule names none.
const char* MainMember(ERestOperation eOperation) {
    switch (eOperation) {
        case ERestOperation::eGetDiffPage:
            return "object_list";
        case ERestOperation::eCreateIncrementalDiff:
            return "uuid_list";
        case ERestOperation::eDeleteMountTargetSnapshot:
            return "status";
        case ERestOperation::eGetPartnerServer:
        case ERestOperation::eGetMountTarget:
        case ERestOperation::eGetMountTargetSnapshot:
            return "entities";
        case ERestOperation::eCreatePartnerServer:
        case ERestOperation::eCreateMountTargetSnapshot:
            break;
    }
    return "metadata";
}

}  // namespace

CFileServerSimulator::CFileServerSimulator(const SimulatorOptions& options) : options(options) {}

CFileServerSimulator::~CFileServerSimulator() { Stop(); }

std::string CFileServerSimulator::Url() const {
    std::string strScheme = options.strTlsCert.empty() ? "http://" : "https://";
    return strScheme + options.strHost + ":" + std::to_string(nPort) + kBasePath;
}

void CFileServerSimulator::Stop() noexcept {
    try {
        if (ptrServer) ptrServer->stop();
        if (thread.joinable()) thread.join();
    } catch (...) {
        // Stopping is best effort; a destructor must not throw.
    }
}

std::string CFileServerSimulator::Start(const SimulatorOptions& options,
                                        std::unique_ptr<CFileServerSimulator>& ptrSimulator) {
    std::unique_ptr<CFileServerSimulator> ptrNew(new CFileServerSimulator(options));
    CFileServerSimulator& sim = *ptrNew;
    if (sim.options.strStateDir.empty())
        sim.options.strStateDir = sim.options.strSharesDir + "/.afs-sim-state";
    std::string strError = CSimState::Open(sim.options.strSharesDir, sim.options.strStateDir,
                                           sim.options.listShareOverrides, sim.ptrState);
    if (!strError.empty()) return strError;
    sim.strExpectedAuthorization = "Basic " + Base64(sim.options.strUser + ":" + sim.options.strPassword);
    sim.ptrDiffStore = std::make_unique<CDiffStore>();
    sim.ptrFaults = std::make_unique<CFaultInjector>(sim.options.scenario);
    sim.ptrRequests = std::make_unique<CRequestLog>(sim.options.pLogStream, sim.options.uMaxRecordedRequests);
    sim.ptrHandlers = std::make_unique<CApiHandlers>(*sim.ptrState, *sim.ptrDiffStore, *sim.ptrFaults);

    if (sim.options.strTlsCert.empty() != sim.options.strTlsKey.empty()) {
        return "TLS needs both a certificate and a key";
    }
    if (!sim.options.strTlsCert.empty()) {
        auto ptrTls = std::make_unique<httplib::SSLServer>(sim.options.strTlsCert.c_str(),
                                                           sim.options.strTlsKey.c_str());
        if (!ptrTls->is_valid()) return "cannot load TLS certificate or key";
        sim.ptrServer = std::move(ptrTls);
    } else {
        sim.ptrServer = std::make_unique<httplib::Server>();
    }
    std::signal(SIGPIPE, SIG_IGN);
    httplib::Server& server = *sim.ptrServer;
    server.set_tcp_nodelay(true);
    // The library's default options add SO_REUSEPORT, with which a second
    // simulator binds a port in use and the two answer at random.
    server.set_socket_options([](socket_t sock) {
        const int nYes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &nYes, sizeof(nYes));
    });
    // Clients keep one connection for a whole job of many requests.
    server.set_keep_alive_max_count(1000000);
    // Requests are small JSON documents. Before a body is read at all, a
    // large one without the credentials is turned away (small ones are
    // answered 401 by the API routes, which record them without the body), as
    // is any control request without them.
    server.set_payload_max_length(1u << 20);
    server.set_pre_routing_handler([&sim](const httplib::Request& req, httplib::Response& res) {
        const bool bControlPath = req.path.compare(0, 6, "/_sim/") == 0;
        const bool bLargeBody =
            std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10) > kMaxUncheckedBody ||
            req.has_header("Transfer-Encoding");
        if ((bControlPath && sim.options.bOpenControl) || (!bControlPath && !bLargeBody) ||
            req.get_header_value("Authorization") == sim.strExpectedAuthorization) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"afs-sim\"");
        res.set_header("Connection", "close");
        res.set_content(ErrorBody(401, "authentication required", "AUTHENTICATION_REQUIRED"), kJson);
        return httplib::Server::HandlerResponse::Handled;
    });
    sim.RegisterApiRoutes();
    if (sim.options.bControl) sim.RegisterControlRoutes();
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(ErrorBody(res.status, "no such resource", "ENTITY_NOT_FOUND"), kJson);
        }
    });

    if (sim.options.nPort == 0) {
        sim.nPort = server.bind_to_any_port(sim.options.strHost);
    } else {
        sim.nPort = server.bind_to_port(sim.options.strHost, sim.options.nPort) ? sim.options.nPort : -1;
    }
    if (sim.nPort <= 0) return ExplainBindFailure(sim.options.strHost, sim.options.nPort);
    sim.thread = std::thread([&server] { server.listen_after_bind(); });
    // stop() before the loop runs would be lost; wait until it runs.
    for (int i = 0; i < 5000 && !server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!server.is_running()) return "the server did not start";
    ptrSimulator = std::move(ptrNew);
    return {};
}

void CFileServerSimulator::RegisterApiRoutes() {
    using Handler = std::function<ApiReply(const httplib::Request&, const Scenario&)>;
    auto serve = [this](const RestOperation& operation, Handler handler) {
        return [this, &operation, handler](const httplib::Request& req, httplib::Response& res) {
            Scenario knobs;
            std::optional<FaultRule> rule = ptrFaults->CountRequest(operation.pszName, knobs);
            EFaultKind eKind = rule ? rule->eKind : EFaultKind::eDelay;
            // The client (or this server) dies while the request is in flight; else no fault.
            if (eKind == EFaultKind::eKill) kill(static_cast<pid_t>(rule->uPid), SIGKILL);
            uint64_t uDelayMs = knobs.uDelayMs + (rule && eKind == EFaultKind::eDelay ? rule->uDelayMs : 0);
            if (uDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(uDelayMs));

            RequestRecord record;
            record.strMethod = req.method;
            record.strTarget = req.target;
            record.strOperation = operation.pszName;
            record.strRequestBody = req.body;
            if (rule && eKind != EFaultKind::eDelay) record.strFault = FaultName(eKind);

            ApiReply reply;
            bool bPerformed = false;
            if (rule && eKind == EFaultKind::eStatus) {
                // An echoing server (or proxy) hands the credentials back, with a line break.
                const std::string strMessage =
                    knobs.uEchoAuthorization == 0
                        ? std::string("simulated failure")
                        : "simulated failure; Authorization: " + req.get_header_value("Authorization") +
                              "\nL0 forged line; password " + options.strPassword;
                reply = {rule->nStatus, ErrorBody(rule->nStatus, strMessage, "SIMULATED_FAILURE")};
            } else if (rule && eKind == EFaultKind::eDrop) {
                reply.nStatus = 0;
            } else if (req.get_header_value("Authorization") != strExpectedAuthorization) {
                reply = {401, ErrorBody(401, "authentication required", "AUTHENTICATION_REQUIRED")};
                res.set_header("WWW-Authenticate", "Basic realm=\"afs-sim\"");
                record.strFault.clear();
                record.strRequestBody.clear();
            } else {
                reply = handler(req, knobs);
                bPerformed = true;
            }
            if (bPerformed && rule) {
                if (eKind == EFaultKind::eTruncate) reply.strBody = TruncatedBody(reply.strBody);
                if (eKind == EFaultKind::eMalformed) reply.strBody = MalformedBody(reply.strBody);
                if (eKind == EFaultKind::eWrongType) {
                    std::string strMember =
                        rule->strMember.empty() ? MainMember(operation.eOperation) : rule->strMember;
                    reply.strBody = WrongTypedBody(reply.strBody, strMember);
                }
                if (eKind == EFaultKind::eDropAfter) reply.nStatus = 0;
            }
            record.nStatus = reply.nStatus;
            record.uBytes = reply.strBody.size();
            if (reply.nStatus == 0) {
                ShutdownConnection(req.local_port, req.remote_port);
                res.status = 500;
                ptrRequests->Add(std::move(record));
                return;
            }
            res.status = reply.nStatus;
            if (bPerformed && rule && eKind == EFaultKind::eDropMidBody) {
                auto ptrBody = std::make_shared<std::string>(std::move(reply.strBody));
                res.set_content_provider(ptrBody->size(), kJson,
                                         [ptrBody](size_t uOffset, size_t uLength, httplib::DataSink& sink) {
                                             size_t uHalf = ptrBody->size() / 2;
                                             if (uOffset >= uHalf) return false;
                                             return sink.write(ptrBody->data() + uOffset,
                                                               std::min(uLength, uHalf - uOffset));
                                         });
            } else {
                // httplib's set_content copies; a megabyte page is moved instead.
                res.body = std::move(reply.strBody);
                res.set_header("Content-Type", kJson);
            }
            ptrRequests->Add(std::move(record));
        };
    };
    httplib::Server& server = *ptrServer;
    // Every path parameter is one segment.
    auto route = [&](ERestOperation eOperation, Handler handler) {
        const RestOperation& operation = afs_rest::RestOperationOf(eOperation);
        const std::string strPattern = kBasePath + ("/" + afs_rest::RestPath(operation, "([^/]+)"));
        const std::string strMethod = operation.pszMethod;
        if (strMethod == "GET")
            server.Get(strPattern, serve(operation, std::move(handler)));
        else if (strMethod == "DELETE")
            server.Delete(strPattern, serve(operation, std::move(handler)));
        else
            server.Post(strPattern, serve(operation, std::move(handler)));
    };
    CApiHandlers& api = *ptrHandlers;
    route(ERestOperation::eGetPartnerServer,
          [&api](auto& req, auto& knobs) { return api.ListPartnerServers(req.body, knobs); });
    route(ERestOperation::eCreatePartnerServer,
          [&api](auto& req, auto& knobs) { return api.CreatePartnerServer(req.body, knobs); });
    route(ERestOperation::eGetMountTarget,
          [&api](auto& req, auto& knobs) { return api.ListMountTargets(req.body, knobs); });
    route(ERestOperation::eGetMountTargetSnapshot,
          [&api](auto& req, auto& knobs) { return api.ListSnapshots(req.body, knobs); });
    route(ERestOperation::eCreateMountTargetSnapshot,
          [&api](auto& req, auto&) { return api.CreateSnapshot(req.body); });
    route(ERestOperation::eCreateIncrementalDiff,
          [&api](auto& req, auto& knobs) { return api.IncrementalDiff(req.body, knobs); });
    route(ERestOperation::eDeleteMountTargetSnapshot,
          [&api](auto& req, auto&) { return api.DeleteSnapshot(req.matches[1]); });
    route(ERestOperation::eGetDiffPage, [&api](auto& req, auto& knobs) {
        return api.DiffPage(req.matches[1], req.has_param("page_size"), req.get_param_value("page_size"),
                            req.get_param_value("page_token"), knobs);
    });
}

void CFileServerSimulator::RegisterControlRoutes() {
    httplib::Server& server = *ptrServer;
    server.Get("/_sim/scenario", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(ScenarioToJson(ptrFaults->Current()), kJson);
    });
    server.Post("/_sim/scenario", [this](const httplib::Request& req, httplib::Response& res) {
        // Applied over the startup knobs, so that every test starts from the same place.
        Scenario scenario = ptrFaults->Startup();
        std::string strError = ParseScenario(req.body, scenario);
        if (!strError.empty()) {
            res.status = 400;
            res.set_content(ErrorBody(400, strError, "INVALID_ARGUMENT"), kJson);
            return;
        }
        ptrFaults->Apply(scenario);
        res.set_content(ScenarioToJson(scenario), kJson);
    });
    server.Get("/_sim/requests", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(ptrRequests->ToJson(), kJson);
    });
    server.Delete("/_sim/requests", [this](const httplib::Request&, httplib::Response& res) {
        ptrRequests->Clear();
        res.set_content("{}", kJson);
    });
    server.Post("/_sim/reset", [this](const httplib::Request&, httplib::Response& res) {
        ptrFaults->Reset();
        ptrRequests->Clear();
        res.set_content(ScenarioToJson(ptrFaults->Current()), kJson);
    });
}

}  // namespace afs_sim

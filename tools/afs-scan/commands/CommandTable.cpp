#include "tools/afs-scan/commands/CommandTable.h"

namespace afs_scan {
namespace {

using O = EOption;

// Where scan and the other commands share what they read.
const std::vector<CommandOption> kStateOptions = {{O::eState}, {O::eDb}};
const std::vector<CommandOption> kHostOptions = {{O::eSettings}, {O::eMountTable}, {O::eLog}};
const std::vector<CommandOption> kServerOptions = {{O::eServer},   {O::eUser},     {O::ePasswordFile},
                                                   {O::ePassword}, {O::eCaBundle}, {O::eHaWait}};
const std::vector<CommandOption> kShareOptions = {
    {O::eScanPath, "local path of a share the jobs back up (repeatable,\nat least one)"},
    {O::eMap},
    {O::eClientId},
    {O::eAppId}};
const std::vector<CommandOption> kCommonOptions = {{O::eVerbose}, {O::eHelp}, {O::eVersion}};

std::vector<CommandOption> Join(std::initializer_list<std::vector<CommandOption>> listParts) {
    std::vector<CommandOption> listAll;
    for (const auto& listPart : listParts) listAll.insert(listAll.end(), listPart.begin(), listPart.end());
    return listAll;
}

std::vector<CommandSpec> MakeTable() {
    return {
        {"scan", "run one backup scan job (the default command)",
         "[scan] --server ADDRESS --user NAME --state DIR\n"
         "                --scan-path PATH [options]",
         "Runs one backup scan job through libNutanixAFSManager.so and stores the\n"
         "changed items in a SQLite scan database.",
         Join({kServerOptions,
               {{O::eScanPath}, {O::eMap}, {O::ePartner}, {O::eState}, {O::eClientId}, {O::eAppId}},
               {{O::eFull},
                {O::eJobId},
                {O::ePreviousJobId},
                {O::eFullJobId},
                {O::eSynthFullJobId},
                {O::eListFull},
                {O::eTakeOver},
                {O::eLockWait},
                {O::ePlugin}},
               kHostOptions,
               {{O::eDb},
                {O::eBatchRows},
                {O::eMaxItems},
                {O::eJsonl},
                {O::eCsv},
                {O::eSummaryJson},
                {O::eQuiet}},
               kCommonOptions}),
         RunScanCommand},
        {"verify", "check a job's items against its two snapshots",
         "verify --state DIR --scan-path PATH [options]",
         "Compares the items of the last incremental job (or --job-id) with the true\n"
         "difference of its two snapshots, read under each share's .snapshot folder.",
         Join({kStateOptions,
               kShareOptions,
               {{O::eJobId, "the incremental job to verify (default: the last one)"},
                {O::eSample},
                {O::eJsonl, "print the findings as JSON lines (the summary goes\nto stderr)"},
                {O::eQuiet, "no progress line"}},
               kHostOptions,
               kCommonOptions}),
         RunVerifyCommand},
        {"snapshots", "this client's snapshots, their jobs and states",
         "snapshots --server ADDRESS --user NAME --state DIR\n"
         "                --scan-path PATH [options]",
         "Lists the snapshots of this client and application on the --scan-path\n"
         "shares with the job that took each and its state; --prune deletes the\n"
         "orphans.",
         Join({kServerOptions,
               kStateOptions,
               kShareOptions,
               {{O::ePrune},
                {O::eDryRun, "with --prune: only print what would be deleted"},
                {O::eMinAge},
                {O::eLockWait},
                {O::eJson},
                {O::eQuiet, "no plain-http warning"}},
               kHostOptions,
               kCommonOptions}),
         RunSnapshotsCommand},
        {"jobs", "the job history", "jobs --state DIR | --db FILE [options]",
         "Prints the job history of the scan database, one line per job.",
         Join({kStateOptions, {{O::eJson}}, kCommonOptions}), RunJobsCommand},
        {"forget", "remove older jobs from the scan database",
         "forget --keep-last N --state DIR | --db FILE [options]",
         "Removes the items and records of older jobs and compacts the database;\n"
         "never the jobs the next incremental job needs.",
         Join({kStateOptions,
               {{O::eKeepLast}, {O::eDryRun, "only print what would be forgotten"}, {O::eLockWait}},
               kCommonOptions}),
         RunForgetCommand},
    };
}

}  // namespace

const std::vector<CommandSpec>& CommandTable() {
    static const std::vector<CommandSpec> kCommands = MakeTable();
    return kCommands;
}

}  // namespace afs_scan

#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/RhError.h"

// The file server's list operations are read 20 entries at a time.
constexpr uint32_t kRestPageLength = 20;
// A listing that moves while it is paged is read again from offset 0 this
// many times at most.
constexpr unsigned kMaxListRestarts = 3;
// Most entities one listing reads, all its readings together, unless
// [FileSystemAgent] MaxListEntities says otherwise (0: no ceiling).
constexpr unsigned long long kDefaultMaxListEntities = 1000000;

// What the caller's page visitor tells the paging loop.
enum EPageStep {
    ePageNext,  // advance to the next page (or finish when the total is reached)
    ePageStop,  // leave the loop now, successfully, without advancing
};

// Checks the server's answer before the loop asks for the next page: the next
// offset must move past the requested one and must not pass the total, or the
// same request would repeat without end. Error 1627 names the operation, the
// offsets and the total.
CRhError CheckPagingProgress(const char* operation, const FXCodeLocation& location, uint32_t requestedOffset,
                             uint32_t nextOffset, uint32_t totalMatches);

// What earlier pages of one listing said. A busy server's listing moves while
// it is paged: a total that changes, or an entity that an earlier page of the
// same reading held (one that moved across a page boundary), makes the loop
// read the listing again from offset 0, up to kMaxListRestarts times; past
// that it ends with error 1627. The reading that holds still is the listing:
// what earlier readings handed over is withdrawn (an entity deleted meanwhile
// must not stay), and within a reading each UUID is handed over once. More
// entities read than the ceiling (0: none, all readings together) end the
// listing with error 1627.
class CPagingHistory {
public:
    CPagingHistory(const char* operation, const FXCodeLocation& location, unsigned long long maxEntities)
        : szOperation(operation), location(location), ullMaxEntities(maxEntities) {}

    enum EVerdict { eTakePage, eReadAgain };
    // Counts `uEntities` more read against the ceiling.
    CRhError CountEntities(size_t uEntities);
    // The page's total; eReadAgain when it differs from the reading's first.
    CRhError CheckTotal(uint32_t offset, uint32_t totalMatches, EVerdict& verdict);
    // An entity of the current page; eReadAgain when an earlier page of this
    // reading held its UUID. The same UUID twice on one page is the caller's
    // to judge.
    CRhError CheckEntity(uint32_t offset, const std::string& uuid, EVerdict& verdict);
    // True the first time `uuid` is taken in this reading, and for every entity without a UUID.
    bool TakeEntity(const std::string& uuid);
    // The page is taken: its UUIDs count as earlier pages from now on.
    void EndPage();

private:
    CRhError ReadAgainOrStop(const std::string& why, EVerdict& verdict);

    const char* szOperation;
    const FXCodeLocation& location;
    unsigned long long ullMaxEntities;
    unsigned long long ullRead = 0;
    unsigned uRestarts = 0;
    bool bHaveTotal = false;
    uint32_t uTotal = 0;
    std::set<std::string> setUUIDs;      // of earlier pages of this reading
    std::set<std::string> setPageUUIDs;  // of the current page
    std::set<std::string> setTaken;      // handed to the caller in this reading
};

// The REST paging loop. `fetch(offset, length)` requests one page (a model
// pointer); `visit(page, entities, offset, length, step)` does the caller's
// work on the page's entities not handed over before in this reading
// (non-null, one per UUID) and returns an error to end the loop with it;
// `readAgain()` undoes the work of all pages visited so far, as the listing is
// read again from offset 0. The next offset is the page's returned offset plus
// its returned length; the loop ends when it equals the total. A page without
// metadata ends the loop with an error. A page that makes the listing read
// again (see CPagingHistory) is not visited.
template <typename FFetch, typename FVisit, typename FReadAgain>
CRhError WalkRestPages(const char* operation, const FXCodeLocation& location, unsigned long long maxEntities,
                       FFetch&& fetch, FVisit&& visit, FReadAgain&& readAgain) {
    uint32_t offset = 0;
    CPagingHistory history(operation, location, maxEntities);
    for (;;) {
        auto ptrPage = fetch(offset, kRestPageLength);
        typename std::decay<decltype(ptrPage->getEntities())>::type listTaken;
        if (ptrPage) {
            CPagingHistory::EVerdict verdict = CPagingHistory::eTakePage;
            CRhError error = history.CountEntities(ptrPage->getEntities().size());
            if (error.IsError()) return error;
            if (const auto& ptrMetadata = ptrPage->getMetadata()) {
                error = history.CheckTotal(offset, static_cast<uint32_t>(ptrMetadata->getTotalMatches()),
                                           verdict);
                if (error.IsError()) return error;
            }
            for (const auto& ptrEntity : ptrPage->getEntities()) {
                if (verdict != CPagingHistory::eTakePage) break;
                if (!ptrEntity || !ptrEntity->getMetadata()) continue;
                error = history.CheckEntity(offset, ptrEntity->getMetadata()->getUuid(), verdict);
                if (error.IsError()) return error;
            }
            if (verdict == CPagingHistory::eReadAgain) {
                readAgain();
                offset = 0;
                continue;
            }
            for (const auto& ptrEntity : ptrPage->getEntities()) {
                if (ptrEntity &&
                    history.TakeEntity(ptrEntity->getMetadata() ? ptrEntity->getMetadata()->getUuid()
                                                                : std::string()))
                    listTaken.push_back(ptrEntity);
            }
            history.EndPage();
        }
        EPageStep step = ePageNext;
        CRhError error = visit(ptrPage, listTaken, offset, kRestPageLength, step);
        if (error.IsError() || step == ePageStop) return error;
        const auto& ptrMetadata = ptrPage->getMetadata();
        if (!ptrMetadata) {
            return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                           "%s answered a page without metadata at offset %u", operation,
                                           offset);
        }
        const uint32_t nextOffset =
            static_cast<uint32_t>(ptrMetadata->getOffset()) + static_cast<uint32_t>(ptrMetadata->getLength());
        const uint32_t totalMatches = static_cast<uint32_t>(ptrMetadata->getTotalMatches());
        if (totalMatches == nextOffset) return CRhError::Success();
        error = CheckPagingProgress(operation, location, offset, nextOffset, totalMatches);
        if (error.IsError()) return error;
        offset = nextOffset;
    }
}

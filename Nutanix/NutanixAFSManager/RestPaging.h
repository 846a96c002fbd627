#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "host/RhError.h"

// The file server's list operations are read 20 entries at a time.
constexpr uint32_t kRestPageLength = 20;

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

// Remembers what earlier pages of one listing said, so that a server cannot
// keep a listing going by serving the same entities again or by moving its
// total: either ends the listing with error 1627.
class CPagingHistory {
public:
    CRhError CheckTotal(const char* operation, const FXCodeLocation& location, uint32_t offset,
                        uint32_t totalMatches);
    // An entity of the current page whose UUID an earlier page held ends the
    // listing; the same UUID twice on one page is the caller's to judge.
    CRhError CheckEntity(const char* operation, const FXCodeLocation& location, uint32_t offset,
                         const std::string& uuid);
    void EndPage();

private:
    bool bHaveTotal = false;
    uint32_t uTotal = 0;
    std::set<std::string> setUUIDs;      // of earlier pages
    std::set<std::string> setPageUUIDs;  // of the current page
};

// The REST paging loop. `fetch(offset, length)` requests one page (a model
// pointer); `visit(page, offset, length, step)` does the caller's work and
// returns an error to end the loop with it. The next offset is the page's
// returned offset plus its returned length; the loop ends when it equals the
// total. A page without metadata ends the loop with an error.
template <typename FFetch, typename FVisit>
CRhError WalkRestPages(const char* operation, const FXCodeLocation& location, FFetch&& fetch, FVisit&& visit) {
    uint32_t offset = 0;
    CPagingHistory history;
    for (;;) {
        auto ptrPage = fetch(offset, kRestPageLength);
        if (ptrPage) {
            if (const auto& ptrMetadata = ptrPage->getMetadata()) {
                CRhError error = history.CheckTotal(operation, location, offset,
                                                    static_cast<uint32_t>(ptrMetadata->getTotalMatches()));
                if (error.IsError()) return error;
            }
            for (const auto& ptrEntity : ptrPage->getEntities()) {
                if (!ptrEntity || !ptrEntity->getMetadata()) continue;
                CRhError error = history.CheckEntity(operation, location, offset, ptrEntity->getMetadata()->getUuid());
                if (error.IsError()) return error;
            }
            history.EndPage();
        }
        EPageStep step = ePageNext;
        CRhError error = visit(ptrPage, offset, kRestPageLength, step);
        if (error.IsError() || step == ePageStop) return error;
        const auto& ptrMetadata = ptrPage->getMetadata();
        if (!ptrMetadata) {
            return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                           "%s answered a page without metadata at offset %u", operation, offset);
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

#include "tools/journal-reader/passage_report.h"

#include "tools/journal-reader/journal_time.h"

bool take_archived(ArchiveIndex* index, const ArchiveKey& key, ArchivedPassage* passage) {
    const auto found = index->find(key);
    if (found == index->end())
        return false;
    *passage = found->second.front();
    found->second.pop_front();
    if (found->second.empty())
        index->erase(found);
    return true;
}

std::string local_day(int64_t seconds) {
    // "2009-03-14 08:05:09 +0200": the date is all before the first blank.
    const std::string time = format_local_time(seconds, TimeStyle::ZONE_OFFSET);
    return time.substr(0, time.find(' '));
}

std::vector<DayCount> count_days(const std::vector<ReportPassage>& passages) {
    std::map<std::string, DayCount> days;
    for (const ReportPassage& passage : passages) {
        const std::string day = local_day(passage.pass.time);
        DayCount& count = days.emplace(day, DayCount{day, 0, 0}).first->second;
        ++count.passages;
        count.admitted += admitted(passage.pass) ? 1 : 0;
    }
    std::vector<DayCount> list;
    for (const auto& day : days)
        list.push_back(day.second);
    return list;
}

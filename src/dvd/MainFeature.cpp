#include "MainFeature.h"

#include "DvdTitleBrowser.h"

#include <algorithm>
#include <cstddef>

namespace tessaro {
namespace {

constexpr double ShortSeconds = 60;           // menus, logos, trailers
constexpr double SameShare = 0.9;             // of a title's sectors that another one plays
constexpr double CompilationShare = 0.8;      // of a "play all" title that its parts cover
constexpr double SimilarShare = 0.75;         // of the longest episode's length
constexpr double EpisodeMinSeconds = 10 * 60; // shorter parts are scenes or clips
constexpr double EpisodeMaxSeconds = 75 * 60; // longer similar titles are films

// Sectors are compared per title set: a cell's sector numbers count within its set.
struct TSpan {
    std::int64_t set;
    std::int64_t first;
    std::int64_t last; // inclusive
    bool operator<(const TSpan& other) const {
        return set != other.set ? set < other.set : first < other.first;
    }
};
using TSectors = std::vector<TSpan>; // sorted, not overlapping

TSectors Merged(TSectors spans) {
    std::sort(spans.begin(), spans.end());
    TSectors merged;
    for (const TSpan& span : spans) {
        if (!merged.empty() && merged.back().set == span.set &&
            span.first <= merged.back().last + 1) {
            merged.back().last = std::max(merged.back().last, span.last);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

TSectors SectorsOf(const TTitleShape& title) {
    TSectors spans;
    for (const TDVDCellExtent& cell : title.Cells) {
        if (cell.LastSector >= cell.FirstSector) {
            spans.push_back({cell.TitleSet, cell.FirstSector, cell.LastSector});
        }
    }
    return Merged(std::move(spans));
}

std::int64_t SizeOf(const TSectors& sectors) {
    std::int64_t size = 0;
    for (const TSpan& span : sectors) {
        size += span.last - span.first + 1;
    }
    return size;
}

std::int64_t Common(const TSectors& a, const TSectors& b) {
    std::int64_t common = 0;
    for (const TSpan& x : a) {
        for (const TSpan& y : b) {
            if (x.set == y.set) {
                common += std::max<std::int64_t>(0, std::min(x.last, y.last) -
                                                        std::max(x.first, y.first) + 1);
            }
        }
    }
    return common;
}

enum class TRole { Candidate, Short, Repeat, Compilation, Part, Episode, Main };

struct TState {
    TRole role = TRole::Candidate;
    int other = -1;         // Repeat, Part: the title it belongs to; Episode: its compilation
    std::vector<int> parts; // Compilation: the titles it plays
};

std::string TitleNumbers(const std::vector<int>& positions, const std::vector<TTitleShape>& t) {
    std::string text;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        text += i == 0 ? "" : i + 1 == positions.size() ? " and " : ", ";
        text += std::to_string(t[std::size_t(positions[i])].Index + 1);
    }
    return text;
}

class TPicker {
public:
    explicit TPicker(const std::vector<TTitleShape>& titles)
        : titles_(titles), states_(titles.size()) {
        for (const TTitleShape& title : titles) {
            sectors_.push_back(SectorsOf(title));
            sizes_.push_back(SizeOf(sectors_.back()));
        }
    }

    std::vector<TTitlePick> Pick() {
        MarkShort();
        MarkRepeats();
        const bool episodesFromCompilation = MarkCompilations();
        MarkParts();
        if (!episodesFromCompilation && !MarkSeries()) {
            MarkMain();
        }
        std::vector<TTitlePick> picks;
        for (std::size_t i = 0; i < titles_.size(); ++i) {
            picks.push_back(PickOf(int(i)));
        }
        return picks;
    }

private:
    int Count() const { return int(titles_.size()); }
    const TTitleShape& T(int i) const { return titles_[std::size_t(i)]; }
    TState& S(int i) { return states_[std::size_t(i)]; }
    bool Is(int i, TRole role) const { return states_[std::size_t(i)].role == role; }

    // The share of title a's sectors that b plays too.
    double Share(int a, int b) const {
        const std::int64_t size = sizes_[std::size_t(a)];
        return size == 0 ? 0
                         : double(Common(sectors_[std::size_t(a)], sectors_[std::size_t(b)])) /
                               double(size);
    }

    // Which of two titles playing the same cells stays: more chapters, then longer, then first.
    bool Better(int a, int b) const {
        if (T(a).Chapters != T(b).Chapters) {
            return T(a).Chapters > T(b).Chapters;
        }
        if (T(a).Seconds != T(b).Seconds) {
            return T(a).Seconds > T(b).Seconds;
        }
        return a < b;
    }

    void MarkShort() {
        for (int i = 0; i < Count(); ++i) {
            if (T(i).Seconds < ShortSeconds) {
                S(i).role = TRole::Short;
            }
        }
    }

    void MarkRepeats() {
        for (int i = 0; i < Count(); ++i) {
            int best = -1;
            for (int j = 0; j < Count(); ++j) {
                if (j != i && !Is(j, TRole::Short) && !Is(i, TRole::Short) &&
                    Share(i, j) >= SameShare && Share(j, i) >= SameShare && Better(j, i) &&
                    (best < 0 || Better(j, best))) {
                    best = j;
                }
            }
            if (best >= 0) {
                S(i) = {TRole::Repeat, best, {}};
            }
        }
    }

    // A title whose sectors mostly come from two or more other titles plays them in one. Its
    // parts are episodes when each is long enough. Returns true when episodes were found.
    bool MarkCompilations() {
        bool episodes = false;
        for (int c = 0; c < Count(); ++c) {
            if (!Is(c, TRole::Candidate)) {
                continue;
            }
            std::vector<int> parts;
            TSectors covered;
            for (int p = 0; p < Count(); ++p) {
                if (p != c && Is(p, TRole::Candidate) &&
                    sizes_[std::size_t(p)] < sizes_[std::size_t(c)] && Share(p, c) >= SameShare) {
                    parts.push_back(p);
                    covered.insert(covered.end(), sectors_[std::size_t(p)].begin(),
                                   sectors_[std::size_t(p)].end());
                }
            }
            const double share = sizes_[std::size_t(c)] == 0
                                     ? 0
                                     : double(Common(Merged(covered), sectors_[std::size_t(c)])) /
                                           double(sizes_[std::size_t(c)]);
            if (parts.size() < 2 || share < CompilationShare) {
                continue;
            }
            const bool longParts = std::all_of(parts.begin(), parts.end(), [this](int p) {
                return T(p).Seconds >= EpisodeMinSeconds;
            });
            if (longParts) {
                S(c) = {TRole::Compilation, -1, parts};
                for (int p : parts) {
                    S(p) = {TRole::Episode, c, {}};
                }
                episodes = true;
            } else {
                for (int p : parts) {
                    S(p) = {TRole::Part, c, {}};
                }
            }
        }
        return episodes;
    }

    void MarkParts() {
        for (int i = 0; i < Count(); ++i) {
            for (int j = 0; j < Count() && Is(i, TRole::Candidate); ++j) {
                if (j != i && Is(j, TRole::Candidate) &&
                    sizes_[std::size_t(j)] > sizes_[std::size_t(i)] && Share(i, j) >= SameShare) {
                    S(i) = {TRole::Part, j, {}};
                }
            }
        }
    }

    // The longest of the titles in role, more chapters first on a tie; -1 when none.
    int Longest(TRole role) const {
        int longest = -1;
        for (int i = 0; i < Count(); ++i) {
            if (Is(i, role) &&
                (longest < 0 || T(i).Seconds > T(longest).Seconds ||
                 (T(i).Seconds == T(longest).Seconds && T(i).Chapters > T(longest).Chapters))) {
                longest = i;
            }
        }
        return longest;
    }

    bool MarkSeries() {
        const int longest = Longest(TRole::Candidate);
        if (longest < 0 || T(longest).Seconds > EpisodeMaxSeconds) {
            return false;
        }
        std::vector<int> series;
        for (int i = 0; i < Count(); ++i) {
            if (Is(i, TRole::Candidate) && T(i).Seconds >= SimilarShare * T(longest).Seconds) {
                series.push_back(i);
            }
        }
        const bool episodes =
            series.size() >= 2 && std::all_of(series.begin(), series.end(), [this](int i) {
                return T(i).Seconds >= EpisodeMinSeconds;
            });
        if (episodes) {
            for (int i : series) {
                S(i).role = TRole::Episode;
            }
        }
        return episodes;
    }

    void MarkMain() {
        int main = Longest(TRole::Candidate);
        // A disc of short titles only, or of repeats only: the longest title of any kind.
        for (TRole fallback : {TRole::Part, TRole::Short, TRole::Repeat}) {
            main = main >= 0 ? main : Longest(fallback);
        }
        if (main >= 0) {
            S(main) = {TRole::Main, -1, {}};
        }
    }

    int EpisodeCount() const {
        return int(std::count_if(states_.begin(), states_.end(),
                                 [](const TState& s) { return s.role == TRole::Episode; }));
    }

    std::string Number(int i) const { return std::to_string(T(i).Index + 1); }
    std::string Length(int i) const { return DvdLengthText(T(i).Seconds); }

    bool MostChapters(int i) const {
        for (int j = 0; j < Count(); ++j) {
            if (j != i && T(j).Chapters >= T(i).Chapters) {
                return false;
            }
        }
        return true;
    }

    std::vector<int> RepeatsOf(int i) const {
        std::vector<int> repeats;
        for (int j = 0; j < Count(); ++j) {
            if (Is(j, TRole::Repeat) && states_[std::size_t(j)].other == i) {
                repeats.push_back(j);
            }
        }
        return repeats;
    }

    std::string MainReason(int i) const {
        std::string reason = "Likely the main feature: the longest title (" + Length(i) + "); ";
        reason += MostChapters(i) ? "the most chapters (" + std::to_string(T(i).Chapters) + ")"
                                  : std::to_string(T(i).Chapters) + " chapters";
        const std::vector<int> repeats = RepeatsOf(i);
        reason += repeats.empty()
                      ? "; not a repeat of another title's cells."
                      : "; title " + TitleNumbers(repeats, titles_) + " repeats its cells.";
        return reason;
    }

    std::string EpisodeReason(int i) const {
        const int compilation = states_[std::size_t(i)].other;
        if (compilation >= 0) {
            return "Likely an episode: one of " + std::to_string(EpisodeCount()) +
                   " titles that title " + Number(compilation) + " plays in one.";
        }
        return "Likely an episode: one of " + std::to_string(EpisodeCount()) +
               " titles of similar length (" + Length(i) +
               "); not a repeat of another title's cells.";
    }

    TTitlePick PickOf(int i) const {
        const TState& state = states_[std::size_t(i)];
        switch (state.role) {
        case TRole::Main:
            return {true, true, MainReason(i)};
        case TRole::Episode:
            return {true, true, EpisodeReason(i)};
        case TRole::Repeat:
            return {false, false, "Repeats the cells of title " + Number(state.other) + "."};
        case TRole::Part:
            return {false, false, "Plays a part of title " + Number(state.other) + "."};
        case TRole::Compilation:
            return {false, false,
                    "Plays titles " + TitleNumbers(state.parts, titles_) + " one after another."};
        case TRole::Short:
            return {false, false, "Short title (" + Length(i) + "): likely a menu or an extra."};
        case TRole::Candidate:
            break;
        }
        return {false, false,
                EpisodeCount() > 0 ? "Not one of the episodes." : "Shorter than the main feature."};
    }

    const std::vector<TTitleShape>& titles_;
    std::vector<TState> states_;
    std::vector<TSectors> sectors_;
    std::vector<std::int64_t> sizes_;
};

} // namespace

std::vector<TTitlePick> PickTitles(const std::vector<TTitleShape>& titles) {
    return TPicker(titles).Pick();
}

} // namespace tessaro

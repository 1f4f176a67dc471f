#include "data_folder/load_order.h"

#include <algorithm>
#include <map>

#include "platform/locale.h"

namespace {

constexpr const char16_t* kMasters[] = {u"Skyrim.esm", u"Update.esm", u"Dawnguard.esm", u"HearthFires.esm",
                                        u"Dragonborn.esm"};
constexpr std::u16string_view kSkyrimPrefix = u"skyrim - "; // folded
constexpr uint32_t kSpecialEditionVersion = 105;

// The plugin's name without its extension (".esm", ".esp", ".esl").
std::u16string_view PluginStem(std::u16string_view plugin) {
    const size_t dot = plugin.find_last_of(u'.');
    return dot == std::u16string_view::npos ? plugin : plugin.substr(0, dot);
}

class TPlacement {
public:
    explicit TPlacement(const std::vector<TArchiveCandidate>& candidates) : candidates_(candidates) {
        for (size_t i = 0; i < candidates.size(); ++i) {
            byFoldedName_.emplace(platform::FoldCase(candidates[i].fileName), i);
        }
        placed_.resize(candidates.size());
    }

    // Places the archive of that name (any case), unless it is placed already; only one of version 105 when
    // specialOnly.
    void Place(std::u16string_view name, TLoadRule rule, std::u16string_view plugin = {},
               bool specialOnly = false) {
        const auto [first, end] = byFoldedName_.equal_range(platform::FoldCase(name));
        for (auto it = first; it != end; ++it) {
            const size_t candidate = it->second;
            if (placed_[candidate] ||
                (specialOnly && candidates_[candidate].version != kSpecialEditionVersion)) {
                continue;
            }
            placed_[candidate] = true;
            order_.push_back({candidate, rule, std::u16string(plugin)});
        }
    }

    // The candidates not placed yet, in name order, by rule.
    void PlaceRemaining(TLoadRule rule, bool skyrimPrefixOnly) {
        std::vector<std::pair<std::u16string, size_t>> remaining;
        for (const auto& [folded, candidate] : byFoldedName_) {
            if (!placed_[candidate] && (!skyrimPrefixOnly || folded.starts_with(kSkyrimPrefix))) {
                remaining.emplace_back(folded, candidate);
            }
        }
        // byFoldedName_ is in code unit order; the game's name order is the folded text's code point order.
        std::stable_sort(remaining.begin(), remaining.end(), [](const auto& a, const auto& b) {
            return platform::CompareCodePointOrder(a.first, b.first) < 0;
        });
        for (const auto& [folded, candidate] : remaining) {
            placed_[candidate] = true;
            order_.push_back({candidate, rule, {}});
        }
    }

    std::vector<TPlacedArchive> Take() { return std::move(order_); }

private:
    const std::vector<TArchiveCandidate>& candidates_;
    std::multimap<std::u16string, size_t> byFoldedName_;
    std::vector<bool> placed_;
    std::vector<TPlacedArchive> order_;
};

} // namespace

TGameEdition EditionOf(const std::vector<TArchiveCandidate>& candidates) {
    const bool special = std::any_of(candidates.begin(), candidates.end(), [](const TArchiveCandidate& c) {
        return c.version == kSpecialEditionVersion;
    });
    return special ? TGameEdition::SpecialEdition : TGameEdition::Skyrim;
}

std::vector<TPlacedArchive> PlaceArchives(const std::vector<TArchiveCandidate>& candidates,
                                          const TLoadOrderInputs& inputs) {
    TPlacement placement(candidates);
    if (inputs.ini.Empty()) {
        placement.PlaceRemaining(TLoadRule::SkyrimPrefix, true);
    } else {
        for (const auto* list : {&inputs.ini.list, &inputs.ini.list2}) {
            for (const std::u16string& name : list->value_or(std::vector<std::u16string>{})) {
                placement.Place(name, TLoadRule::IniList);
            }
        }
    }
    std::vector<std::u16string> plugins(std::begin(kMasters), std::end(kMasters));
    if (inputs.activePlugins) {
        plugins.insert(plugins.end(), inputs.activePlugins->begin(), inputs.activePlugins->end());
    }
    for (const std::u16string& plugin : plugins) {
        const std::u16string stem(PluginStem(plugin));
        placement.Place(stem + u".bsa", TLoadRule::Plugin, plugin);
        placement.Place(stem + u" - Textures.bsa", TLoadRule::Plugin, plugin, true);
    }
    placement.PlaceRemaining(TLoadRule::NotLoaded, false);
    return placement.Take();
}

std::u16string LoadRuleText(const TPlacedArchive& placed) {
    switch (placed.rule) {
    case TLoadRule::IniList:
        return u"INI list";
    case TLoadRule::SkyrimPrefix:
        return u"name order (Skyrim - )";
    case TLoadRule::Plugin:
        return u"plugin " + placed.plugin;
    case TLoadRule::NotLoaded:
        return u"not loaded";
    case TLoadRule::Given:
        return u"order given";
    case TLoadRule::LooseFiles:
        return u"loose files";
    }
    return {};
}

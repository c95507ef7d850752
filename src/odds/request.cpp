#include "odds/request.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "notation/parser.h"
#include "odds/deal.h"
#include "odds/pool.h"  // free_later
#include "odds/threads.h"

namespace vantor {
namespace {

bool is_whole_rank(CardSet s) {
  if (s.is_empty()) return false;
  const unsigned low = static_cast<unsigned>(std::countr_zero(s.mask()));
  return low % 4 == 0 && s == CardSet::rank(low / 4);
}

// The named (one-card) slot sets of a holding, together.
CardSet named_cards(std::span<const CardSet> holding) {
  CardSet out;
  for (CardSet slot : holding)
    if (slot.is_single()) out |= slot;
  return out;
}

// Copies of a holding between two questions to `halted`; a holding of its
// own, whose tables are built, asks every time (the question is cheap).
constexpr std::size_t STOP_STRIDE = 1024;

bool asked_to_stop(const std::function<bool()>& halted) { return halted && halted(); }

// The answer of a stopped build; what it had made is freed off the path of
// the interrupt that stopped it.
template <class... Parts>
std::optional<RequestData> abandon(Parts&... parts) {
  (free_later(std::move(parts)), ...);
  return std::nullopt;
}

// For each holding, the first holding equal to it (itself if none comes
// before): one pass over an open-addressed table of the distinct holdings.
std::vector<std::uint32_t> first_alike(const std::vector<Holding>& holdings) {
  const auto hash = [](const Holding& h) {
    std::uint64_t x = 0x9E3779B97F4A7C15;
    for (CardSet s : h) x = (x ^ s.mask()) * 0xFF51AFD7ED558CCD;
    return x ^ (x >> 29);
  };
  const std::size_t size = std::bit_ceil(2 * holdings.size() + 1);
  std::vector<std::uint32_t> table(size, 0);  // a holding's index + 1; 0 is free
  std::vector<std::uint32_t> first(holdings.size());
  for (std::size_t k = 0; k < holdings.size(); ++k) {
    for (std::size_t at = hash(holdings[k]) & (size - 1);; at = (at + 1) & (size - 1)) {
      if (table[at] == 0) {
        table[at] = static_cast<std::uint32_t>(k + 1);
        first[k] = static_cast<std::uint32_t>(k);
        break;
      }
      if (holdings[table[at] - 1] == holdings[k]) {
        first[k] = table[at] - 1;
        break;
      }
    }
  }
  return first;
}

std::uint64_t live_slot_count(std::span<const CardSet> holding, CardSet live) {
  std::uint64_t sum = 0;
  for (CardSet slot : holding) sum += (slot & live).count();
  return sum;
}

// Steps of `build` that check the seats' holding lengths and pad short ones,
// in place.
Outcome normalise_seats(const TableRules& rules, std::vector<HandSpec>& seats) {
  if (rules.stud) {
    // Stud seats show the same number of cards at any moment of the hand.
    std::optional<std::size_t> common;
    for (const HandSpec& seat : seats)
      for (const Holding& h : seat.holdings) {
        if (!common) common = h.size();
        if (*common != h.size()) return EquityError::MixedHandSizes{};
      }
    if (common && *common <= 2) return EquityError::NotEnoughCards{*common};
  }
  for (HandSpec& seat : seats) {
    if (seat.holdings.empty()) return EquityError::MixedHandSizes{};
    const std::size_t m = seat.holdings.front().size();
    for (const Holding& h : seat.holdings)
      if (h.size() != m) return EquityError::MixedHandSizes{};
    if (m > rules.hole_slots || (m < rules.hole_slots && !rules.short_holdings))
      return EquityError::NotEnoughCards{m};
    // Cards not shown yet (stud) or not kept (draw) come from the deck.
    if (m < rules.hole_slots)
      for (Holding& h : seat.holdings) h.resize(rules.hole_slots, CardSet::full_deck());
  }
  return Ok{};
}

}  // namespace

std::optional<PinnedSpot> pin_open_suits(std::span<const HandSpec> seats,
                                         std::span<const CardSet> board, CardSet live) {
  for (const HandSpec& seat : seats)
    if (seat.holdings.size() != 1) return std::nullopt;

  // Pinning a rank slot to one suit is harmless only if nothing else can
  // tell that card from the other free cards of its rank. A suit slot or a
  // partial rank elsewhere could take the pinned card, so any such slot
  // leaves the spot as it is.
  const auto suit_blind = [](CardSet s) {
    return s.is_single() || is_whole_rank(s) || s == CardSet::full_deck();
  };
  for (const HandSpec& seat : seats)
    if (!std::all_of(seat.holdings[0].begin(), seat.holdings[0].end(), suit_blind))
      return std::nullopt;
  if (!std::all_of(board.begin(), board.end(), suit_blind)) return std::nullopt;

  CardSet taken = named_cards(board);
  for (const HandSpec& seat : seats) taken |= named_cards(seat.holdings[0]);

  PinnedSpot out{std::vector<HandSpec>(seats.begin(), seats.end()),
                 std::vector<CardSet>(board.begin(), board.end())};
  const auto pin = [&](CardSet& slot) {
    if (!is_whole_rank(slot)) return true;
    const CardSet free = slot & (live - taken);
    if (free.is_empty()) return false;
    slot = CardSet::single(free.lowest());
    taken |= slot;
    return true;
  };
  for (HandSpec& seat : out.seats)
    for (CardSet& slot : seat.holdings[0])
      if (!pin(slot)) return std::nullopt;
  for (CardSet& slot : out.board)
    if (!pin(slot)) return std::nullopt;
  return out;
}

Result<std::optional<RequestData>> RequestData::build(const TableRules& rules,
                                                      std::vector<HandSpec> seats,
                                                      std::span<const CardSet> board_in,
                                                      CardSet dead,
                                                      const std::function<bool()>& halted) {
  const std::size_t n = seats.size();
  if (n < 2) return EquityError::TooFewSeats{};
  if (n > rules.seat_limit) return EquityError::TooManySeats{n, rules.seat_limit};

  if (Outcome normalised = normalise_seats(rules, seats); !normalised)
    return std::move(normalised).error();
  if (asked_to_stop(halted)) return abandon(seats);

  for (const HandSpec& seat : seats) {
    const bool fillable = std::any_of(seat.holdings.begin(), seat.holdings.end(), [](const Holding& h) {
      return std::none_of(h.begin(), h.end(), [](CardSet s) { return s.is_empty(); });
    });
    if (!fillable) return EquityError::Infeasible{"a hand"};
  }

  if (board_in.size() > rules.board_size) return EquityError::BoardSize{board_in.size()};
  if (board_in.size() < rules.min_board)
    return EquityError::UnseenBoard{rules.min_board, board_in.size()};

  const CardSet foreign_dead = (dead & CardSet::full_deck()) - rules.deck;
  if (!foreign_dead.is_empty()) return GameError::NotInDeck{foreign_dead.lowest()};
  const CardSet live = rules.deck - dead;

  std::vector<CardSet> board(board_in.begin(), board_in.end());
  board.resize(rules.board_size, CardSet::full_deck());

  if (rules.pin_suits) {
    if (auto pinned = pin_open_suits(seats, board, live)) {
      seats = std::move(pinned->seats);
      board = std::move(pinned->board);
    }
  }

  if (asked_to_stop(halted)) return abandon(seats);
  std::vector<CardSet> fixed(n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& holdings = seats[i].holdings;
    CardSet common = named_cards(holdings.front());
    for (const Holding& h : holdings) common &= named_cards(h);
    fixed[i] = common;
  }
  fixed[n] = named_cards(board);

  CardSet fixed_all;
  for (CardSet f : fixed) {
    const CardSet shared = f & fixed_all;
    if (!shared.is_empty()) return GameError::DuplicateCard{shared.lowest()};
    fixed_all |= f;
  }
  if (const CardSet unusable = fixed_all - live; !unusable.is_empty()) {
    const Card c = unusable.lowest();
    if (rules.deck.contains(c)) return GameError::DuplicateCard{c};
    return GameError::NotInDeck{c};
  }

  if (asked_to_stop(halted)) return abandon(seats);
  if (auto feasible = check_feasible(seats, board, live); !feasible)
    return std::move(feasible).error();
  if (asked_to_stop(halted)) return abandon(seats);

  RequestData r{SlotSampler(board, live)};
  r.board_slots = board.size();
  r.live = live;
  r.fixed_all = fixed_all;
  r.seat_count = n;
  r.threads = default_threads();

  r.alike.resize(n);
  r.samplers.resize(n);
  std::uint64_t listing_left = LISTING_BUDGET;
  for (std::size_t i = 0; i < n; ++i) {
    const std::vector<Holding>& holdings = seats[i].holdings;
    r.alike[i] = first_alike(holdings);
    if (asked_to_stop(halted)) return abandon(seats, r);
    std::vector<SlotSampler>& samplers = r.samplers[i];
    samplers.reserve(holdings.size());
    for (std::size_t k = 0; k < holdings.size(); ++k) {
      const std::uint32_t first = r.alike[i][k];
      if ((first == k || k % STOP_STRIDE == 0) && asked_to_stop(halted))
        return abandon(seats, r);
      if (first != k) {
        samplers.push_back(samplers[first]);
        continue;
      }
      samplers.emplace_back(holdings[k], live, listing_left);
      listing_left -= std::min<std::uint64_t>(listing_left, samplers.back().enumerated().size());
    }
  }

  // Most constrained first, so that hopeless deals fail early; the stable
  // sort keeps equal keys in index order (the board after equal seats).
  std::vector<std::uint64_t> keys(n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t key = std::numeric_limits<std::uint64_t>::max();
    for (const Holding& h : seats[i].holdings) key = std::min(key, live_slot_count(h, live));
    keys[i] = key;
  }
  keys[n] = live_slot_count(board, live);
  r.order.resize(n + 1);
  for (std::size_t i = 0; i <= n; ++i) r.order[i] = i;
  std::stable_sort(r.order.begin(), r.order.end(),
                   [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

  r.fixed = std::move(fixed);
  r.slots.reserve(n + 1);
  for (HandSpec& seat : seats) r.slots.push_back(std::move(seat.holdings));
  r.slots.push_back({board});

  r.plans.resize(n + 1);
  r.log_weights.resize(n + 1);
  r.picks.resize(n + 1);
  const CardSet unclaimed = CardSet::full_deck() - fixed_all;
  for (std::size_t i = 0; i <= n; ++i) {
    // Plans count the card sets an entry can take once every other entry's
    // named cards are gone.
    const CardSet avail = live & (r.fixed[i] | unclaimed);
    const CardSet claimed = live - avail;
    // ln(sets over all live cards) - ln(sets over avail), per holding: what
    // a holding loses to the named cards of other entries.
    std::vector<double> lost(r.slots[i].size(), 0.0);
    r.plans[i].reserve(r.slots[i].size());
    r.log_weights[i].reserve(r.slots[i].size());
    // Whether every holding that can be dealt has as many sets over all live
    // cards as the others (unknown when one of them cannot be counted).
    std::optional<u128> common_wide;
    bool equal_wide = true;
    for (std::size_t k = 0; k < r.slots[i].size(); ++k) {
      const std::size_t first = i < n ? r.alike[i][k] : k;
      if ((first == k || k % STOP_STRIDE == 0) && asked_to_stop(halted)) return abandon(r);
      const Holding& h = r.slots[i][k];
      if (first != k) {
        r.plans[i].push_back(r.plans[i][first]);  // shares the shapes
        r.log_weights[i].push_back(r.log_weights[i][first]);
        lost[k] = lost[first];
        continue;
      }
      if (h.empty()) {
        r.plans[i].emplace_back(std::nullopt);
        r.log_weights[i].push_back(0.0);
        continue;
      }
      auto plan = ShapePlan::build(h, avail);
      r.log_weights[i].push_back(plan ? std::log(static_cast<double>(plan->total()))
                                      : std::numeric_limits<double>::quiet_NaN());
      CardSet reach;
      for (CardSet slot : h) reach |= slot;
      if (plan && plan->total() > 0) {
        std::optional<u128> wide_total = plan->total();
        if (reach.intersects(claimed)) {
          const auto wide = ShapePlan::build(h, live);
          wide_total = wide ? std::optional<u128>(wide->total()) : std::nullopt;
          if (wide) lost[k] = std::log(static_cast<double>(wide->total())) - r.log_weights[i][k];
        }
        if (!wide_total || (common_wide && *common_wide != *wide_total)) equal_wide = false;
        if (!common_wide) common_wide = wide_total;
      }
      r.plans[i].push_back(std::move(plan));
    }
    // Holdings of unequal size: weighted dealing picks them by their counts
    // and divides each deal's weight by the chosen holding's own count.
    if (!equal_wide) {
      r.picks[i].weighted_by_count = true;
      continue;
    }
    // Picked uniformly, alternatives of one seat must keep the proportions of
    // their card sets over all live cards (slot dealing and the exact walk
    // reject the sets that clash with named cards, they do not renormalise
    // each holding). Normalised by the least loss, so the weights are the
    // plain counts whenever no holding loses more than another.
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < lost.size(); ++k)
      if (std::isfinite(r.log_weights[i][k])) least = std::min(least, lost[k]);
    for (std::size_t k = 0; k < lost.size(); ++k)
      if (std::isfinite(r.log_weights[i][k]) && lost[k] != least)
        r.log_weights[i][k] += lost[k] - least;
  }
  assign_picks(r);

  if (asked_to_stop(halted)) return abandon(r);
  r.weighted = choose_dealing(r);
  return std::optional(std::move(r));
}

bool RequestData::names_every_seat() const {
  if (slots.size() != seat_count + 1) return false;
  for (std::size_t i = 0; i < seat_count; ++i) {
    if (slots[i].size() != 1) return false;
    for (CardSet slot : slots[i][0])
      if (slot.count() != 1) return false;
  }
  for (CardSet slot : slots[seat_count].front())
    if (slot.count() != 1 && slot != CardSet::full_deck()) return false;
  return true;
}

Result<ParsedSpot> parse_spot(const TableRules& rules, std::span<const std::string_view> hands,
                              std::string_view board, std::string_view dead,
                              const std::function<bool()>& halted) {
  ParsedSpot spot;
  spot.seats.reserve(hands.size());
  for (std::string_view text : hands) {
    // Short holdings are read like the others, with any length up to the hole count.
    auto seat = parse_field(text, rules.hole_slots, !rules.short_holdings, halted);
    if (!seat) return std::move(seat).error();
    spot.seats.push_back(std::move(*seat));
  }
  auto slots = parse_board(board, rules.board_size);
  if (!slots) return std::move(slots).error();
  spot.board = std::move(*slots);
  auto cards = parse_dead(dead);
  if (!cards) return std::move(cards).error();
  spot.dead = *cards;
  return spot;
}

}  // namespace vantor

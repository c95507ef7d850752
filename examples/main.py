"""A first look at vantor: cards, then two real equity questions."""

import vantor


def show(title, hands, result):
    how = "exact" if result["exact"] else f"Monte Carlo, {result['samples']:,} deals"
    print(f"\n{title} ({how})")
    for hand, player in zip(hands, result["players"]):
        spread = f" ± {player['std_error']:.2%}" if not result["exact"] else ""
        print(f"  {hand:<24} equity {player['equity']:7.2%}{spread}   "
              f"win {player['win']:7.2%}   tie {player['tie']:6.2%}")


print("As is card", vantor.card_index("As"), "and card 34 is", vantor.card_name(34))
print("full deck mask:", hex(vantor.full_deck()))
print("threads a batch uses by default:", vantor.default_thread_count())

hands = ["AhKh", "QsQd"]
flop = "Kd 7c 2h"
show(f"Hold'em on {flop}", hands, vantor.exact_from_text("holdem", hands, flop))

ranges = ["AA,KK,QQ,AKs", "JJ-88,AQs+,KQs", "**"]
show("Hold'em preflop, two ranges and a random hand", ranges,
     vantor.chunk_from_text("holdem", ranges, samples=200_000, seed=1))

omaha = ["AhAd2c3d", "KsKh9s8h"]
show("Omaha Hi/Lo on 4c 7d Qs", omaha,
     vantor.chunk_from_text("omaha_hi_lo", omaha, "4c 7d Qs", samples=100_000, seed=1))

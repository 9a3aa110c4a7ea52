"""Writes examples/data/corpus.jsonl and examples/data/questions.jsonl.

The passages are rendered from the fact tables in examples/gen/ (country
data through sentence templates, everything else from hand-written
sentences), padded with neutral topic sentences to a realistic length and
shuffled under fixed ids. Questions come from the same tables, so every
answer is stated in at least one passage; this is checked before writing.

Standard library only; the output is deterministic. Run from anywhere:
    python3 examples/make_data.py
"""

import json
import random
import sys
import unicodedata
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from gen.countries import COUNTRIES  # noqa: E402
from gen.culture import COMPOSERS, PAINTERS, WRITERS  # noqa: E402
from gen.essays import ESSAYS  # noqa: E402
from gen.hops import HOP_QUESTIONS  # noqa: E402
from gen.science import CONCEPTS, DISCOVERIES, ELEMENT_QUESTIONS, ELEMENTS, SPACE  # noqa: E402
from gen.sport import OLYMPICS, SPORTS, WORLD_CUPS  # noqa: E402
from gen.world import ANIMALS, FEATURES, HISTORY, LANDMARKS  # noqa: E402

MIN_WORDS, MAX_WORDS = 60, 130

FILLER = {
    "country": [
        "Its economy, like that of most modern states, rests on a mix of agriculture, industry and services.",
        "Regional traditions in food, music and festivals remain strong in many parts of the country.",
        "The national statistics office publishes regular figures on population, trade and employment.",
        "Tourism contributes to the economy, drawing visitors to historic towns and natural scenery.",
        "The country is a member of the United Nations.",
        "As in much of the world, people have moved from the countryside to the cities over the past century.",
        "Its national holidays commemorate key moments in its political history.",
        "The country sends athletes to the Olympic Games.",
        "Newspapers, radio and television reach almost every household.",
        "Its foreign trade links it closely with its neighbours.",
        "Local government is organised in regions or provinces with their own administrations.",
    ],
    "geography": [
        "Climate varies with altitude and with distance from the sea.",
        "Rivers and lakes have long supplied water for farming and served as routes for trade.",
        "Protected areas shelter native plants and animals in several parts of the country.",
        "Mapping agencies occasionally revise the official heights of summits as survey methods improve.",
        "Settlement is densest in the lowlands and along the main transport corridors.",
        "Geographers usually divide the territory into several natural regions.",
        "Weather records kept over more than a century show a gradual warming trend.",
        "Roads and railways follow the valleys and lowlands wherever possible.",
        "Soils and rainfall determine which crops can be grown in each region.",
        "The national mapping agency publishes detailed topographic maps of the whole territory.",
    ],
    "city": [
        "Museums, theatres and universities make it an important cultural centre.",
        "Public transport links the centre with the surrounding districts.",
        "The city has grown considerably during the twentieth and twenty-first centuries.",
        "Traffic, housing and the protection of historic buildings are recurring topics in local politics.",
        "Visitors come to see its monuments, markets and parks.",
        "Its international airport connects it with other capitals in the region and beyond.",
        "Many of the country's newspapers, broadcasters and publishers are based here.",
        "Its population has been counted in regular censuses.",
        "Parks and open spaces offer residents relief from the busy streets.",
    ],
    "element": [
        "Its position in the periodic table is fixed by its atomic number, the number of protons in each nucleus.",
        "Like every element, it has a characteristic spectrum of lines by which it can be identified.",
        "Chemists distinguish its isotopes by the number of neutrons in the nucleus.",
        "It is studied in laboratories and used in a range of industries.",
        "Safety data sheets describe how it should be handled and stored.",
        "World production and prices are tracked by geological surveys and commodity markets.",
        "Its atomic mass is a weighted average over the isotopes found in nature.",
    ],
    "music": [
        "Recordings and concert performances keep this music in the repertoire.",
        "Biographers have drawn on letters and contemporary accounts to reconstruct the composer's life.",
        "Scholars have catalogued the works, and critical editions are available to performers.",
        "Music historians place these works within the wider development of European music.",
        "Festivals and competitions are held in the composer's honour.",
        "Manuscripts and first editions are kept in libraries and archives.",
    ],
    "painting": [
        "Exhibitions devoted to the artist attract large crowds.",
        "Art historians have studied the technique closely, often with the help of scientific analysis.",
        "Reproductions of the best-known works appear on posters and in textbooks.",
        "Auction records and museum catalogues document how the reputation of the work has grown.",
        "Conservators have cleaned and restored several of the works.",
    ],
    "literature": [
        "The works have been translated into many languages.",
        "Literary critics have written extensively about the author's style and themes.",
        "Several of the works have been adapted for the stage or the screen.",
        "Schools and universities include these books in their reading lists.",
        "Manuscripts, letters and early editions are preserved in libraries.",
    ],
    "space": [
        "Astronomers continue to study it with telescopes on the ground and in space.",
        "Data returned by space missions are archived and made available to researchers.",
        "Planetary scientists compare it with other bodies to understand how the Solar System formed.",
    ],
    "science": [
        "Historians of science note that the work built on the efforts of many earlier researchers.",
        "The achievement is described in most textbooks on the history of science and technology.",
        "Museums display early apparatus and documents related to it.",
        "The topic is part of most school science curricula.",
    ],
    "nature": [
        "The area attracts scientists, tourists and photographers.",
        "Changes in climate and land use have affected the surrounding environment in recent decades.",
        "Satellite images have greatly improved measurements of its size.",
        "Scientists monitor the region to understand long-term environmental change.",
        "Local communities depend on it for water, food or tourism income.",
    ],
    "landmark": [
        "Guided tours explain its history and construction.",
        "It appears on postcards, stamps and in countless photographs.",
        "It attracts large numbers of visitors every year.",
        "Conservation work protects it from weathering and from the wear caused by tourism.",
    ],
    "history": [
        "Historians continue to debate its causes and consequences.",
        "The events are commemorated in books, films and museums.",
        "Contemporary accounts and later research give a detailed picture of what happened.",
        "Anniversaries of the events are marked by ceremonies and exhibitions.",
    ],
    "animal": [
        "Conservation organisations monitor its populations in the wild.",
        "It is a popular subject of wildlife documentaries.",
        "Zoologists continue to study its behaviour and ecology.",
        "Several zoos take part in breeding programmes and public education about the species.",
    ],
    "olympics": [
        "The International Olympic Committee, which organises the Games, had chosen the host city in advance.",
        "Athletes competed in athletics, swimming and a range of other sports.",
        "Competitors came from many nations.",
        "The organising committee published an official report on the Games.",
        "Sports historians still discuss these Games both for the athletic achievements and for the circumstances in which they were held.",
        "New venues were prepared for the competitions.",
        "Newspapers around the world reported the results.",
        "Several national and world records were set during the competitions.",
    ],
    "football": [
        "The tournament is organised by FIFA, the governing body of world football.",
        "Statistics from the tournament, including goals and attendances, are kept in FIFA's official records.",
        "Supporters travelled from abroad to follow their teams.",
        "The tournament brought together national teams from several continents.",
        "Newspapers and radio, and in later decades television, carried the matches to a wide audience.",
        "Several players from the tournament are remembered among the great names of the sport.",
    ],
    "sport": [
        "Television coverage has brought the sport a worldwide audience.",
        "Records and results are kept by the sport's governing bodies.",
        "Amateur clubs around the world take part in the game at every level.",
    ],
}

THE = {"Netherlands", "United Kingdom", "United States", "Czech Republic", "Philippines"}
# Countries whose main language has no official status in law (or where we
# are not sure it has): the passages say "main language" and no question
# asks for their official language.
MAIN_LANGUAGE_ONLY = {"United States", "United Kingdom", "Australia", "Mexico", "Argentina", "Chile",
                      "Uruguay", "Japan", "Denmark", "Czech Republic", "Jamaica"}
LANGUAGE_SENTENCES = {
    "New Zealand": "Māori and New Zealand Sign Language are official languages, and English is the main language.",
}

# Answers for country questions where the text field carries a description.
PEAK_ANSWERS = {
    "Finland": ["Halti"],
    "Italy": ["Mont Blanc", "Monte Bianco"],
    "Mexico": ["Pico de Orizaba", "Citlaltépetl"],
    "New Zealand": ["Aoraki / Mount Cook", "Aoraki", "Mount Cook"],
    "China": ["Mount Everest", "Everest"],
    "Nepal": ["Mount Everest", "Everest", "Sagarmatha"],
    "Colombia": ["Pico Cristóbal Colón"],
    "Switzerland": ["Dufourspitze"],
    "Tanzania": ["Kilimanjaro", "Mount Kilimanjaro"],
}
CAPITAL_ANSWERS = {
    "South Africa": ["Pretoria", "Cape Town", "Bloemfontein"],
    "Bolivia": ["Sucre", "La Paz"],
    "United States": ["Washington, D.C.", "Washington"],
    "Sri Lanka": ["Sri Jayawardenepura Kotte", "Kotte", "Colombo"],
}


def currency_answers(currency):
    """'Kenyan shilling' -> also 'shilling'; 'pound sterling' -> also 'pound'."""
    if currency == "pound sterling":
        return [currency, "pound"]
    return [currency] + ([currency.split()[-1]] if " " in currency else [])


def name(c, start=False):
    if c in THE:
        return ("The " if start else "the ") + c
    return c


def clause(text):
    """A phrase followed by a comma, whether or not it already ends in one."""
    return text if text.endswith(",") else text + ","


def head(text):
    """The bare name at the start of a descriptive phrase: 'the Loire, the longest ...' -> 'Loire'."""
    if text.startswith("the "):
        text = text[4:]
    for stop in (",", " in ", " on ", " (", " which "):
        text = text.split(stop)[0]
    return text.strip()


def pad(rng, sentences, pool):
    """Appends neutral sentences from pool until the passage reaches a random
    target length: at most three, or a fourth if still under the minimum."""
    text = " ".join(sentences)
    target = MIN_WORDS + rng.randint(0, 12)
    extra = rng.sample(FILLER[pool], len(FILLER[pool]))
    used = 0
    while extra and (len(text.split()) < MIN_WORDS or (used < 3 and len(text.split()) < target)):
        used += 1
        candidate = text + " " + extra.pop()
        if len(candidate.split()) > MAX_WORDS:
            break
        text = candidate
    return text


def language_sentence(c):
    if c.name in LANGUAGE_SENTENCES:
        return LANGUAGE_SENTENCES[c.name]
    if c.name in MAIN_LANGUAGE_ONLY:
        return f"{c.lang} is the main language."
    if c.lang.startswith("several"):
        return f"It has {c.lang.rstrip(',')}."
    verb = "languages are" if " and " in c.lang else "language is"
    return f"The official {verb} {c.lang.rstrip(',')}."


def country_passages(rng, c):
    n, N = name(c.name), name(c.name, start=True)
    largest = (f", although its largest city is {c.largest}" if c.largest
               else ", which is also its largest city")
    overview = [
        rng.choice([f"{N} is a country in {c.region}.", f"{N} is a sovereign state in {c.region}."]),
        rng.choice([f"Its capital is {c.capital}{largest}.", f"The capital is {c.capital}{largest}."]),
        language_sentence(c),
        rng.choice([f"The currency is the {c.currency}.", f"Its currency is the {c.currency}.",
                    f"Prices are paid in the {c.currency}."]),
        c.note,
    ]
    geo = []
    if c.neighbours.startswith("no country"):
        rest = c.neighbours[len("no country"):].replace(" by land", "")
        geo.append(f"{N} lies in {c.region} and has no land neighbours{rest}.")
    else:
        geo.append(rng.choice([f"{N} lies in {c.region} and borders {c.neighbours}.",
                               f"Located in {c.region}, {n} shares land borders with {c.neighbours}."]))
    if c.peak:
        if c.height:
            geo.append(rng.choice([f"Its highest point is {clause(c.peak)} which rises to about {c.height} metres.",
                                   f"The highest summit in {n} is {clause(c.peak)} at about {c.height} metres above sea level."]))
        else:
            geo.append(f"Its highest point is {c.peak.rstrip(',')}.")
    if c.river:
        geo.append(rng.choice([f"The principal rivers include {c.river}.", f"Important waters include {c.river}."]))
    if c.name == "Switzerland":
        intro = f"{c.capital} is the seat of the federal authorities of Switzerland."
    elif c.name == "South Africa":
        intro = f"{c.capital} is one of the three capital cities of South Africa."
    elif c.largest:
        intro = f"{c.capital} is the capital of {n}."
    else:
        intro = f"{c.capital} is the capital and largest city of {n}."
    return [
        (c.name, pad(rng, overview, "country")),
        (f"Geography of {n}", pad(rng, geo, "geography")),
        (c.capital, pad(rng, [intro] + c.capital_facts, "city")),
    ]


def country_questions(rng, c):
    """Direct questions about one country, worded differently from the passages."""
    n = name(c.name)
    out = []
    caps = CAPITAL_ANSWERS.get(c.name, [c.capital])
    out.append((rng.choice([f"What is the capital of {n}?", f"Which city is the seat of government of {n}?",
                            f"Where does the government of {n} sit?"]), caps))
    cur = currency_answers(c.currency)
    out.append((rng.choice([f"What money is used in {n}?", f"What do people in {n} pay with?",
                            f"What is the official money of {n}?"]), cur))
    if c.peak:
        peak = PEAK_ANSWERS.get(c.name, [head(c.peak)])
        out.append((rng.choice([f"What is the tallest peak in {n}?", f"What is the tallest mountain in {n}?",
                                f"Which mountain is the highest in {n}?"]), peak))
    if c.river and "," in c.river and "longest river" in c.river.split(",")[1]:
        out.append((rng.choice([f"What is the longest waterway in {n}?", f"Which river is the longest in {n}?"]),
                    [head(c.river)]))
    if c.largest:
        out.append((rng.choice([f"What is the biggest city in {n}?", f"Which is the most populous city of {n}?"]),
                    [c.largest]))
    if " " not in c.lang and c.name not in MAIN_LANGUAGE_ONLY:
        out.append((rng.choice([f"What language is officially spoken in {n}?", f"What is the official language of {n}?"]),
                    [c.lang]))
    return out


def country_hop_questions(rng, c):
    """Questions that name the capital instead of the country."""
    cur = currency_answers(c.currency)
    out = [(rng.choice([f"What currency is used in the country whose capital is {c.capital}?",
                        f"Which currency would you use in {c.capital}?"]), cur),
           (rng.choice([f"{c.capital} is the capital of which country?", f"In which country is the city of {c.capital}?"]),
            [c.name])]
    if " " not in c.lang and c.name not in MAIN_LANGUAGE_ONLY:
        out.append((f"What is the official language of the country whose capital is {c.capital}?", [c.lang]))
    return out


def element_passages(rng, e):
    nm, sym, z, cls, disc, props, uses = e
    title = f"{nm} (element)" if nm == "Mercury" else nm
    intro = rng.choice([f"{nm} is a chemical element with the symbol {sym} and atomic number {z}. It is {cls}.",
                        f"{nm} is {cls} with the chemical symbol {sym} and atomic number {z}."])
    return [(title, pad(rng, [intro, disc, props, uses], "element"))]


def entry_passages(rng, entry, pool):
    title, sentences, _ = entry
    chunks, current = [], []
    for s in sentences:
        if s == "||":
            chunks.append(current)
            current = []
        else:
            current.append(s)
    chunks.append(current)
    if len(chunks) > 1 and min(len(" ".join(c).split()) for c in chunks) < 35:
        chunks = [[s for c in chunks for s in c]]   # too thin to stand alone
    return [(title, pad(rng, chunk, pool)) for chunk in chunks]


def roman(n):
    out = ""
    for value, digits in [(10, "X"), (9, "IX"), (5, "V"), (4, "IV"), (1, "I")]:
        while n >= value:
            out, n = out + digits, n - value
    return out


def ordinal(n):
    suffix = "th" if 10 <= n % 100 <= 20 else {1: "st", 2: "nd", 3: "rd"}.get(n % 10, "th")
    return f"{n}{suffix}"


def olympic_passage(rng, row):
    year, city, country, remark = row
    first = rng.choice([f"The {year} Summer Olympics were held in {city}, {country}.",
                        f"{city}, in {country}, hosted the {year} Summer Olympics."])
    official = f"They are officially known as the Games of the {roman((year - 1896) // 4 + 1)} Olympiad."
    return (f"{year} Summer Olympics", pad(rng, [first, official, remark], "olympics"))


def world_cup_passage(rng, edition, row):
    year, host, winner, runner_up, remark = row
    host_s = f"The {year} FIFA World Cup, the {ordinal(edition)} edition of the tournament, was held in {host}."
    w = winner[0].upper() + winner[1:]
    if year == 1950:
        result = f"{w} won the title, finishing ahead of {runner_up} in the deciding final round."
    else:
        result = rng.choice([f"{w} won the title, beating {runner_up} in the final.",
                             f"In the final, {w} defeated {runner_up}."])
    return (f"{year} FIFA World Cup", pad(rng, [host_s, result, remark], "football"))


def event_hop_questions(rng, k):
    """Currency of the country that hosted a given Olympics or World Cup."""
    currency = {name(c.name): c.currency for c in COUNTRIES} | {c.name: c.currency for c in COUNTRIES}
    out = []
    for year, _, country, _ in OLYMPICS:
        if country in currency:
            cur = currency[country]
            out.append((f"What currency is used in the country where the {year} Summer Olympics took place?",
                        currency_answers(cur)))
    for year, host, _, _, _ in WORLD_CUPS:
        if host in currency:
            cur = currency[host]
            out.append((f"Which currency is used in the country that hosted the {year} FIFA World Cup?",
                        currency_answers(cur)))
    return rng.sample(out, k)


def sport_questions(rng):
    out = []
    for year, city, country, _ in rng.sample(OLYMPICS, 7):
        out.append((rng.choice([f"Which city hosted the {year} Summer Olympics?",
                                f"Where were the Summer Olympic Games of {year} held?"]), [city]))
    for year, host, winner, runner_up, _ in rng.sample(WORLD_CUPS, 6):
        if rng.random() < 0.7:
            out.append((rng.choice([f"Which country won the {year} FIFA World Cup?",
                                    f"Who won the football World Cup in {year}?"]), [winner.replace("the ", "")]))
        else:
            hosts = host.replace("the ", "")
            out.append((f"Which country hosted the {year} FIFA World Cup?",
                        [hosts] + (hosts.split(" and ") if " and " in hosts else [])))
    return out


def tokens(text):
    """Approximates the module's default tokenizer: NFD, lowercase, runs of
    letters/numbers/marks, and every other visible character on its own."""
    out, word = [], []
    for ch in unicodedata.normalize("NFD", text).lower():
        cat = unicodedata.category(ch)
        if cat[0] in "LNM":
            word.append(ch)
            continue
        if word:
            out.append("".join(word))
            word = []
        if cat[0] not in "ZC":
            out.append(ch)
    if word:
        out.append("".join(word))
    return out


def contains(doc, ans):
    n = len(ans)
    return any(doc[i:i + n] == ans for i in range(len(doc) - n + 1))


def main():
    rng = random.Random(20240611)
    passages = []
    for c in COUNTRIES:
        passages += country_passages(rng, c)
    for e in ELEMENTS:
        passages += element_passages(rng, e)
    for table, pool in [(COMPOSERS, "music"), (PAINTERS, "painting"), (WRITERS, "literature"),
                        (SPACE, "space"), (DISCOVERIES, "science"), (CONCEPTS, "science"),
                        (FEATURES, "nature"), (LANDMARKS, "landmark"), (HISTORY, "history"),
                        (ANIMALS, "animal"), (SPORTS, "sport")]:
        for entry in table:
            passages += entry_passages(rng, entry, pool)
    passages += [olympic_passage(rng, row) for row in OLYMPICS]
    passages += [world_cup_passage(rng, i, row) for i, row in enumerate(WORLD_CUPS, 1)]
    passages += ESSAYS

    bad = [f"{title}: {len(text.split())} words" for title, text in passages
           if not MIN_WORDS <= len(text.split()) <= MAX_WORDS or "\t" in title + text or "\n" in title + text]
    if bad:
        raise SystemExit("passages out of shape:\n  " + "\n  ".join(bad))
    rng.shuffle(passages)
    docs = [(f"d{i:04d}", title, text) for i, (title, text) in enumerate(passages, 1)]

    # Questions: a fixed number drawn from each table.
    questions = []
    country_pool = [q for c in COUNTRIES for q in country_questions(rng, c)]
    questions += rng.sample(country_pool, 55)
    hop_pool = [q for c in COUNTRIES for q in country_hop_questions(rng, c)]
    questions += rng.sample(hop_pool, 22)
    questions += rng.sample(ELEMENT_QUESTIONS, 6)
    hop_answers = {tuple(answers) for _, answers in HOP_QUESTIONS}
    for table, k in [(COMPOSERS, 7), (PAINTERS, 5), (WRITERS, 6), (SPACE, 6), (DISCOVERIES, 7),
                     (CONCEPTS, 3), (FEATURES, 6), (LANDMARKS, 5), (HISTORY, 7), (ANIMALS, 3), (SPORTS, 3)]:
        # skip direct questions whose fact is already asked indirectly
        pool = [qa for _, _, qas in table for qa in qas if tuple(qa[1]) not in hop_answers]
        questions += rng.sample(pool, k)
    questions += sport_questions(rng)
    questions += HOP_QUESTIONS
    questions += event_hop_questions(rng, 10)
    # The same currency reached by two routes is one fact asked twice; the
    # euro is the exception, its questions are about different countries.
    currencies = {tuple(currency_answers(c.currency)) for c in COUNTRIES} - {("euro",)}
    kept, seen = [], set()
    for question, answers in questions:
        key = tuple(answers)
        if key in currencies and key in seen:
            continue
        seen.add(key)
        kept.append((question, answers))
    questions = kept
    rng.shuffle(questions)

    doc_tokens = [tokens(title + " " + text) for _, title, text in docs]
    seen = set()
    for question, answers in questions:
        assert question not in seen, question
        seen.add(question)
        assert 1 <= len(answers) <= 5, question
        if not any(contains(d, tokens(a)) for a in answers for d in doc_tokens):
            raise SystemExit(f"no passage answers: {question} {answers}")

    out = HERE / "data"
    out.mkdir(exist_ok=True)
    with open(out / "corpus.jsonl", "w", encoding="utf-8", newline="\n") as f:
        for docid, title, text in docs:
            f.write(json.dumps({"id": docid, "title": title, "text": text}, ensure_ascii=False) + "\n")
    with open(out / "questions.jsonl", "w", encoding="utf-8", newline="\n") as f:
        for i, (question, answers) in enumerate(questions, 1):
            f.write(json.dumps({"qid": f"q{i:03d}", "question": question, "answers": answers},
                               ensure_ascii=False) + "\n")
    words = [len(t.split()) for _, _, t in docs]
    print(f"{len(docs)} passages ({min(words)}-{max(words)} words, mean {sum(words) / len(words):.0f}), "
          f"{len(questions)} questions")


if __name__ == "__main__":
    main()

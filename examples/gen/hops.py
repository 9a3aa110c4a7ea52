"""Questions that describe a person or place through something else they are
known for ("the composer of Swan Lake"), so the passage that matches the
description is usually not the one that holds the answer.
"""

HOP_QUESTIONS = [
    ("In which town was the composer of the Brandenburg Concertos born?", ["Eisenach"]),
    ("In which city was the composer of The Magic Flute born?", ["Salzburg"]),
    ("In which city was the composer of Fidelio born?", ["Bonn"]),
    ("In what year did the composer of Winterreise die?", ["1828"]),
    ("Where was the composer of Swan Lake born?", ["Votkinsk"]),
    ("In which village was the composer of Rusalka born?", ["Nelahozeves"]),
    ("In which city was the composer of Tosca born?", ["Lucca"]),
    ("In which city was the composer of A German Requiem born?", ["Hamburg"]),
    ("In which city was the composer of Der Ring des Nibelungen born?", ["Leipzig"]),
    ("In which city did the composer of The Rite of Spring die?", ["New York"]),
    ("In which town was the composer of Finlandia born?", ["Hämeenlinna"]),
    ("In what year was the composer of The Four Seasons born?", ["1678"]),
    ("Which newspaper did the composer of Dichterliebe found?", ["Neue Zeitschrift für Musik"]),
    ("In which city was the painter of The Night Watch born?", ["Leiden"]),
    ("In which town was the painter of The Starry Night born?", ["Zundert"]),
    ("In which city was the painter of Guernica born?", ["Málaga"]),
    ("In which town was the sculptor of the Sistine Chapel ceiling born?", ["Caprese"]),
    ("In which town was the author of Hamlet born?", ["Stratford-upon-Avon"]),
    ("In which city was the author of Les Misérables born?", ["Besançon"]),
    ("In which city was the author of Crime and Punishment born?", ["Moscow"]),
    ("On which estate was the author of War and Peace born?", ["Yasnaya Polyana"]),
    ("In which city was the scientist who completed the general theory of relativity born?", ["Ulm"]),
    ("On which ship did the author of On the Origin of Species sail around the world?", ["HMS Beagle", "Beagle"]),
    ("Which probe arrived in 2016 at the planet with the Great Red Spot?", ["Juno"]),
    ("Which Soviet probe made a soft landing on the hottest planet?", ["Venera 7"]),
    ("Who reached the summit of the highest mountain on Earth with Tenzing Norgay in 1953?", ["Edmund Hillary", "Hillary"]),
    ("Which four capital cities lie on the second-longest river in Europe?", ["Vienna", "Bratislava", "Budapest", "Belgrade"]),
    ("Who was the first woman to win the prize established by the inventor of dynamite?", ["Marie Curie"]),
]

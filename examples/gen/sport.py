"""Summer Olympic hosts, FIFA World Cup finals and a few sports.

OLYMPICS rows: year, host city, host country, a remark.
WORLD_CUPS rows: year, host, winner, runner-up, a remark.
SPORTS entries follow the layout of culture.py.
"""

OLYMPICS = [
    (1896, "Athens", "Greece", "They were the first modern Olympic Games, revived through the efforts of Pierre de Coubertin, and the American James Connolly became the first modern Olympic champion."),
    (1900, "Paris", "France", "They were held as part of the world's fair and were the first Games in which women competed."),
    (1908, "London", "the United Kingdom", "The marathon was first run over 42.195 kilometres at these Games, running from Windsor Castle to the stadium at White City."),
    (1912, "Stockholm", "Sweden", "The American athlete Jim Thorpe won both the pentathlon and the decathlon."),
    (1920, "Antwerp", "Belgium", "The Olympic flag with its five interlocking rings and the athletes' oath were introduced at these Games."),
    (1924, "Paris", "France", "The Finnish runner Paavo Nurmi won five gold medals, and the Olympic motto Citius, Altius, Fortius was used for the first time."),
    (1928, "Amsterdam", "the Netherlands", "An Olympic flame burned in a tower of the stadium for the first time."),
    (1932, "Los Angeles", "the United States", "A purpose-built Olympic village for male athletes was introduced."),
    (1936, "Berlin", "Germany", "The American sprinter Jesse Owens won four gold medals, and the torch relay from Olympia was held for the first time."),
    (1948, "London", "the United Kingdom", "They were the first Games after the Second World War, and the Dutch sprinter Fanny Blankers-Koen won four gold medals."),
    (1952, "Helsinki", "Finland", "The Czechoslovak runner Emil Zátopek won the 5,000 metres, the 10,000 metres and the marathon."),
    (1956, "Melbourne", "Australia", "They were the first Games held in the Southern Hemisphere, and the equestrian events took place in Stockholm because of quarantine rules."),
    (1960, "Rome", "Italy", "The Ethiopian runner Abebe Bikila won the marathon running barefoot."),
    (1964, "Tokyo", "Japan", "They were the first Games held in Asia."),
    (1968, "Mexico City", "Mexico", "Bob Beamon's long jump of 8.90 metres set a world record that stood for almost twenty-three years."),
    (1972, "Munich", "West Germany", "The American swimmer Mark Spitz won seven gold medals, but the Games were overshadowed by a terrorist attack on the Israeli team."),
    (1976, "Montreal", "Canada", "The Romanian gymnast Nadia Comăneci scored the first perfect 10 in Olympic gymnastics."),
    (1980, "Moscow", "the Soviet Union", "Dozens of countries, led by the United States, boycotted the Games."),
    (1984, "Los Angeles", "the United States", "Carl Lewis won four gold medals, and the Soviet Union led a boycott in return."),
    (1988, "Seoul", "South Korea", "The Canadian sprinter Ben Johnson was stripped of his 100 metres gold medal after a failed drug test."),
    (1992, "Barcelona", "Spain", "The American basketball Dream Team, including professional players for the first time, won the gold medal."),
    (1996, "Atlanta", "the United States", "They marked the centenary of the modern Olympic Games, and Muhammad Ali lit the Olympic cauldron."),
    (2000, "Sydney", "Australia", "The Australian runner Cathy Freeman lit the cauldron and later won the 400 metres."),
    (2004, "Athens", "Greece", "The Games returned to the city of the first modern Olympics."),
    (2008, "Beijing", "China", "The American swimmer Michael Phelps won eight gold medals and Usain Bolt set world records in the 100 and 200 metres."),
    (2012, "London", "the United Kingdom", "London became the first city to host the Summer Olympics three times."),
    (2016, "Rio de Janeiro", "Brazil", "They were the first Olympic Games held in South America."),
    (2020, "Tokyo", "Japan", "Because of the COVID-19 pandemic they were postponed and held in 2021, mostly without spectators."),
    (2024, "Paris", "France", "Paris became the second city, after London, to host the Summer Olympics three times, and the opening ceremony took place on the Seine."),
]

WORLD_CUPS = [
    (1930, "Uruguay", "Uruguay", "Argentina", "It was the first FIFA World Cup, and the final was played at the Estadio Centenario in Montevideo."),
    (1934, "Italy", "Italy", "Czechoslovakia", "The final in Rome went to extra time."),
    (1938, "France", "Italy", "Hungary", "Italy became the first team to retain the title."),
    (1950, "Brazil", "Uruguay", "Brazil", "The decisive match at the Maracanã stadium in Rio de Janeiro, a shock defeat for the hosts, is remembered in Brazil as the Maracanazo."),
    (1954, "Switzerland", "West Germany", "Hungary", "West Germany's victory over the favoured Hungarian team in Bern is known as the Miracle of Bern."),
    (1958, "Sweden", "Brazil", "Sweden", "The seventeen-year-old Pelé scored twice in the final."),
    (1962, "Chile", "Brazil", "Czechoslovakia", "Garrincha was one of the stars of the tournament after Pelé was injured."),
    (1966, "England", "England", "West Germany", "Geoff Hurst scored a hat-trick in the final at Wembley Stadium."),
    (1970, "Mexico", "Brazil", "Italy", "Brazil won the title for the third time and kept the Jules Rimet Trophy permanently."),
    (1974, "West Germany", "West Germany", "the Netherlands", "It was the first tournament to award the new FIFA World Cup Trophy."),
    (1978, "Argentina", "Argentina", "the Netherlands", "Mario Kempes was the top scorer of the tournament."),
    (1982, "Spain", "Italy", "West Germany", "Paolo Rossi was the top scorer of the tournament."),
    (1986, "Mexico", "Argentina", "West Germany", "Diego Maradona scored the goal of the century and the Hand of God goal against England in the quarter-final."),
    (1990, "Italy", "West Germany", "Argentina", "Andreas Brehme scored the only goal of the final from a penalty."),
    (1994, "the United States", "Brazil", "Italy", "The final was the first to be decided by a penalty shoot-out."),
    (1998, "France", "France", "Brazil", "Zinedine Zidane scored twice in the final at the Stade de France."),
    (2002, "South Korea and Japan", "Brazil", "Germany", "It was the first World Cup held in Asia, and Ronaldo scored both goals in the final in Yokohama."),
    (2006, "Germany", "Italy", "France", "The final in Berlin was decided on penalties after Zidane was sent off."),
    (2010, "South Africa", "Spain", "the Netherlands", "It was the first World Cup held in Africa, and Andrés Iniesta scored the winning goal in extra time."),
    (2014, "Brazil", "Germany", "Argentina", "Mario Götze scored the only goal of the final in extra time at the Maracanã."),
    (2018, "Russia", "France", "Croatia", "Video assistant referees were used for the first time."),
    (2022, "Qatar", "Argentina", "France", "Lionel Messi led Argentina to victory on penalties after Kylian Mbappé scored a hat-trick in the final."),
]

SPORTS = [
    ("Wimbledon Championships", [
        "The Wimbledon Championships, held at the All England Lawn Tennis and Croquet Club in London, are the oldest tennis tournament in the world.",
        "They were first held in 1877 and are the only Grand Slam tournament still played on grass.",
        "Players must wear predominantly white clothing.",
    ], [
        ("Which is the only Grand Slam tennis tournament played on grass?", ["Wimbledon"]),
        ("In what year were the Wimbledon Championships first held?", ["1877"]),
    ]),
    ("French Open", [
        "The French Open, also called Roland-Garros after the stadium in Paris where it is held, is the only Grand Slam tennis tournament played on clay.",
        "The stadium is named after the aviator Roland Garros, the first pilot to fly across the Mediterranean Sea.",
        "Rafael Nadal won the men's singles a record fourteen times.",
    ], [
        ("Which Grand Slam tennis tournament is played on clay?", ["French Open", "Roland-Garros"]),
        ("Who won the French Open men's singles fourteen times?", ["Rafael Nadal", "Nadal"]),
    ]),
    ("Tour de France", [
        "The Tour de France is an annual men's multi-stage bicycle race held mainly in France.",
        "It was first held in 1903, organised by the newspaper L'Auto to increase its sales.",
        "The overall leader wears the yellow jersey, the maillot jaune.",
        "The race traditionally finishes on the Champs-Élysées in Paris.",
    ], [
        ("In what year was the Tour de France first held?", ["1903"]),
        ("Which newspaper founded the Tour de France?", ["L'Auto"]),
        ("What colour jersey does the leader of the Tour de France wear?", ["yellow"]),
    ]),
    ("Marathon", [
        "The marathon is a long-distance running race of 42.195 kilometres.",
        "It commemorates the legend of the Greek messenger Pheidippides, who ran from the battlefield of Marathon to Athens to announce a victory over the Persians.",
        "The Boston Marathon, first run in 1897, is the oldest annual marathon.",
    ], [
        ("How long is a marathon?", ["42.195 kilometres", "42.195"]),
        ("Which messenger's legendary run does the marathon commemorate?", ["Pheidippides"]),
        ("What is the oldest annual marathon?", ["Boston Marathon"]),
    ]),
    ("Basketball", [
        "Basketball was invented in December 1891 by James Naismith, a Canadian physical education teacher at a YMCA school in Springfield, Massachusetts.",
        "The first games used peach baskets as goals.",
        "The sport became part of the Olympic programme in 1936.",
        "The Naismith Memorial Basketball Hall of Fame is in Springfield.",
    ], [
        ("Who invented basketball?", ["James Naismith", "Naismith"]),
        ("In which city was basketball invented?", ["Springfield"]),
    ]),
    ("Rugby World Cup", [
        "The Rugby World Cup is the main international competition in men's rugby union.",
        "The first tournament, in 1987, was hosted by New Zealand and Australia and won by New Zealand.",
        "The winners receive the Webb Ellis Cup, named after William Webb Ellis, who according to legend first picked up the ball and ran with it at Rugby School.",
    ], [
        ("Which country won the first Rugby World Cup in 1987?", ["New Zealand"]),
        ("What is the Rugby World Cup trophy called?", ["Webb Ellis Cup"]),
    ]),
    ("Cricket", [
        "Cricket is a bat-and-ball game played between two teams of eleven players on a field with a 22-yard pitch in the centre.",
        "Test matches can last up to five days.",
        "The Ashes series between England and Australia dates from 1882, when a newspaper mock obituary declared that English cricket had died.",
        "Lord's Cricket Ground in London is known as the home of cricket.",
    ], [
        ("Which two countries compete for the Ashes?", ["England and Australia", "England", "Australia"]),
        ("Which London ground is known as the home of cricket?", ["Lord's"]),
    ]),
    ("Volleyball", [
        "Volleyball was invented in 1895 by William G. Morgan, a YMCA instructor in Holyoke, Massachusetts.",
        "He originally called it mintonette.",
        "Indoor volleyball became an Olympic sport in 1964 in Tokyo, and beach volleyball joined in 1996.",
    ], [
        ("Who invented volleyball?", ["William G. Morgan", "Morgan"]),
        ("What was volleyball originally called?", ["mintonette"]),
    ]),
    ("Chess", [
        "Chess developed from the Indian game chaturanga, which spread to Persia and then to Europe.",
        "The modern rules took shape in southern Europe in the late fifteenth century, when the queen became the most powerful piece.",
        "Wilhelm Steinitz became the first official world champion in 1886.",
        "In 1997 the IBM computer Deep Blue defeated world champion Garry Kasparov in a match.",
    ], [
        ("Which computer defeated Garry Kasparov in 1997?", ["Deep Blue"]),
        ("Who was the first official world chess champion?", ["Wilhelm Steinitz", "Steinitz"]),
        ("From which Indian game did chess develop?", ["chaturanga"]),
    ]),
]

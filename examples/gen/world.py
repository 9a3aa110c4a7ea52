"""Rivers, mountains and other natural features; landmarks; history; animals.

Same layout as culture.py: (title, sentences, questions), "||" splits an
entry into two passages.
"""

FEATURES = [
    ("Nile", [
        "The Nile is a river in north-eastern Africa, about 6,650 kilometres long and traditionally regarded as the longest river in the world.",
        "Its two main branches are the White Nile, which flows from the region of Lake Victoria, and the Blue Nile, which rises at Lake Tana in Ethiopia.",
        "||",
        "The White Nile and the Blue Nile meet at Khartoum, the capital of Sudan.",
        "The Nile then flows north through Egypt, where the Aswan High Dam, completed in 1970, holds back Lake Nasser.",
        "It empties into the Mediterranean Sea through a broad delta north of Cairo.",
    ], [
        ("At which city do the White Nile and the Blue Nile meet?", ["Khartoum"]),
        ("Which lake is held back by the Aswan High Dam?", ["Lake Nasser"]),
        ("From which lake does the Blue Nile flow?", ["Lake Tana"]),
    ]),
    ("Amazon River", [
        "The Amazon in South America carries more water than any other river, about a fifth of all the fresh water that rivers discharge into the oceans.",
        "Its headwaters lie in the Andes of Peru, and it flows east across Brazil to the Atlantic Ocean.",
        "||",
        "The Amazon basin contains the largest tropical rainforest on Earth.",
        "The Spanish explorer Francisco de Orellana was the first European to travel the length of the Amazon, in 1542.",
        "The river's name is said to come from his reports of battles with women warriors, whom he compared to the Amazons of Greek legend.",
    ], [
        ("Who was the first European to travel the length of the Amazon?", ["Francisco de Orellana", "Orellana"]),
        ("Which river carries the largest volume of water?", ["Amazon"]),
    ]),
    ("Yangtze", [
        "The Yangtze is the longest river in Asia, flowing about 6,300 kilometres from the Tibetan Plateau to the East China Sea at Shanghai.",
        "The Three Gorges Dam on the Yangtze is the largest hydroelectric power station in the world by installed capacity.",
        "The river divides China into north and south and passes the cities of Chongqing, Wuhan and Nanjing.",
    ], [
        ("What is the longest river in Asia?", ["Yangtze"]),
        ("Which dam on the Yangtze is the world's largest hydroelectric station?", ["Three Gorges Dam", "Three Gorges"]),
    ]),
    ("Mississippi River", [
        "The Mississippi rises at Lake Itasca in Minnesota and flows south for about 3,770 kilometres to the Gulf of Mexico below New Orleans.",
        "Its largest tributaries are the Missouri, which is longer than the Mississippi itself, and the Ohio.",
        "The river was central to the novels of Mark Twain, who worked as a steamboat pilot on it.",
    ], [
        ("At which lake does the Mississippi River begin?", ["Lake Itasca"]),
        ("Into which body of water does the Mississippi flow?", ["Gulf of Mexico"]),
    ]),
    ("Danube", [
        "The Danube is the second-longest river in Europe, after the Volga.",
        "It rises in the Black Forest in Germany and flows about 2,850 kilometres to the Black Sea, where it forms a large delta in Romania and Ukraine.",
        "||",
        "The Danube flows through or along the borders of ten countries, more than any other river in the world.",
        "Four capital cities lie on its banks: Vienna, Bratislava, Budapest and Belgrade.",
        "Johann Strauss II celebrated it in his waltz The Blue Danube.",
    ], [
        ("In which mountain range does the Danube rise?", ["Black Forest"]),
        ("Into which sea does the Danube flow?", ["Black Sea"]),
        ("Who composed the waltz The Blue Danube?", ["Johann Strauss II", "Strauss"]),
    ]),
    ("Rhine", [
        "The Rhine rises in the Swiss Alps and flows about 1,230 kilometres to the North Sea in the Netherlands.",
        "On its way it passes through Lake Constance, known in German as the Bodensee, and over the Rhine Falls at Schaffhausen.",
        "The stretch of the Middle Rhine, with its castles and the Lorelei rock, is a World Heritage Site.",
        "Rotterdam, near its mouth, is the largest port in Europe.",
    ], [
        ("Through which lake does the Rhine flow before the Rhine Falls?", ["Lake Constance", "Bodensee"]),
        ("Which famous rock stands on the Middle Rhine?", ["Lorelei"]),
    ]),
    ("Volga", [
        "The Volga is the longest river in Europe, flowing about 3,530 kilometres through western Russia to the Caspian Sea.",
        "It rises in the Valdai Hills north-west of Moscow.",
        "Cities on its banks include Nizhny Novgorod, Kazan, Samara and Volgograd, formerly Stalingrad.",
        "It is often called Mother Volga in Russian folklore.",
    ], [
        ("Which is the longest river in Europe?", ["Volga"]),
        ("Into which sea does the Volga flow?", ["Caspian Sea"]),
    ]),
    ("Ganges", [
        "The Ganges rises at the Gangotri Glacier in the western Himalayas and flows through northern India and Bangladesh to the Bay of Bengal.",
        "It is sacred to Hindus, and millions bathe in it at the city of Varanasi and during the Kumbh Mela festival.",
        "Its delta, shared with the Brahmaputra, is the largest in the world.",
    ], [
        ("From which glacier does the Ganges rise?", ["Gangotri Glacier", "Gangotri"]),
        ("Into which bay does the Ganges flow?", ["Bay of Bengal"]),
    ]),
    ("Mekong", [
        "The Mekong rises on the Tibetan Plateau and flows through China, Myanmar, Laos, Thailand, Cambodia and Vietnam.",
        "It reaches the South China Sea through a vast delta in southern Vietnam.",
        "The Khone Falls in Laos are the largest waterfalls in South-East Asia by volume.",
        "The river supports one of the largest inland fisheries in the world.",
    ], [
        ("Through which delta does the Mekong reach the sea?", ["Vietnam", "Mekong Delta"]),
    ]),
    ("Congo River", [
        "The Congo River in central Africa is the deepest river in the world, with depths of more than 220 metres.",
        "It is second only to the Amazon in the volume of water it carries.",
        "It crosses the equator twice and flows into the Atlantic Ocean.",
        "The capitals Kinshasa and Brazzaville face each other across the river.",
    ], [
        ("Which is the deepest river in the world?", ["Congo", "Congo River"]),
        ("Which two capital cities face each other across the Congo River?", ["Kinshasa and Brazzaville", "Kinshasa", "Brazzaville"]),
    ]),
    ("Zambezi", [
        "The Zambezi is the fourth-longest river in Africa, flowing from Zambia to the Indian Ocean in Mozambique.",
        "Victoria Falls on the Zambezi, on the border between Zambia and Zimbabwe, is known locally as Mosi-oa-Tunya, the smoke that thunders.",
        "The Scottish explorer David Livingstone named the falls after Queen Victoria in 1855.",
        "The Kariba Dam created one of the largest artificial lakes in the world.",
    ], [
        ("Which explorer named Victoria Falls?", ["David Livingstone", "Livingstone"]),
        ("What is the local name of Victoria Falls?", ["Mosi-oa-Tunya"]),
        ("On which river are the Victoria Falls?", ["Zambezi"]),
    ]),
    ("Mount Everest", [
        "Mount Everest, on the border between Nepal and China, is the highest mountain on Earth at 8,849 metres above sea level.",
        "It is known in Nepali as Sagarmatha and in Tibetan as Chomolungma.",
        "||",
        "Edmund Hillary of New Zealand and Tenzing Norgay, a Sherpa from Nepal, made the first confirmed ascent of Everest on 29 May 1953.",
        "The English name honours George Everest, a surveyor general of India.",
        "Junko Tabei of Japan became the first woman to reach the summit in 1975.",
    ], [
        ("Who made the first ascent of Mount Everest with Edmund Hillary?", ["Tenzing Norgay", "Tenzing"]),
        ("What is the Nepali name for Mount Everest?", ["Sagarmatha"]),
        ("Who was the first woman to climb Mount Everest?", ["Junko Tabei"]),
        ("How high is Mount Everest?", ["8,849 metres", "8,849"]),
    ]),
    ("K2", [
        "K2 is the second-highest mountain on Earth, at 8,611 metres, on the border between Pakistan and China in the Karakoram range.",
        "It is considered far more difficult and dangerous to climb than Everest.",
        "It was first climbed in 1954 by the Italians Achille Compagnoni and Lino Lacedelli.",
        "Its name comes from the survey notation of the Great Trigonometrical Survey.",
    ], [
        ("What is the second-highest mountain on Earth?", ["K2"]),
        ("In which mountain range is K2?", ["Karakoram"]),
    ]),
    ("Kilimanjaro", [
        "Kilimanjaro, in Tanzania, is the highest mountain in Africa, rising to 5,895 metres.",
        "It is a dormant volcano with three cones: Kibo, Mawenzi and Shira.",
        "The German geographer Hans Meyer and the Austrian climber Ludwig Purtscheller reached its summit in 1889.",
        "Its glaciers have shrunk dramatically during the last century.",
    ], [
        ("What is the highest mountain in Africa?", ["Kilimanjaro"]),
        ("Who first reached the summit of Kilimanjaro with Ludwig Purtscheller?", ["Hans Meyer"]),
    ]),
    ("Mont Blanc", [
        "Mont Blanc is the highest mountain in the Alps and in western Europe, on the border between France and Italy.",
        "Its first recorded ascent was made in 1786 by Jacques Balmat and Michel-Gabriel Paccard.",
        "The town of Chamonix lies at its foot, and a road tunnel under the mountain opened in 1965.",
    ], [
        ("Who made the first ascent of Mont Blanc with Michel-Gabriel Paccard?", ["Jacques Balmat", "Balmat"]),
        ("Which town lies at the foot of Mont Blanc?", ["Chamonix"]),
    ]),
    ("Matterhorn", [
        "The Matterhorn is a pyramid-shaped mountain in the Alps, 4,478 metres high, on the border between Switzerland and Italy.",
        "It rises above the Swiss village of Zermatt and the Italian town of Breuil-Cervinia.",
        "In 1865 a party led by Edward Whymper made the first ascent, but four of its members died in a fall during the descent.",
    ], [
        ("Who led the first ascent of the Matterhorn?", ["Edward Whymper", "Whymper"]),
        ("Which Swiss village lies below the Matterhorn?", ["Zermatt"]),
    ]),
    ("Aconcagua", [
        "Aconcagua, in the Argentine Andes, is the highest mountain in the Americas at 6,961 metres.",
        "It is also the highest mountain outside Asia.",
        "The Swiss climber Matthias Zurbriggen made the first recorded ascent in 1897.",
    ], [
        ("What is the highest mountain in the Americas?", ["Aconcagua"]),
    ]),
    ("Denali", [
        "Denali, in Alaska, is the highest mountain in North America at 6,190 metres.",
        "It was officially named Mount McKinley from 1917 until 2015, when its Koyukon Athabascan name was restored.",
        "The first ascent of its main summit was made in 1913 by a party led by Hudson Stuck.",
    ], [
        ("What is the highest mountain in North America?", ["Denali"]),
    ]),
    ("Lake Baikal", [
        "Lake Baikal in southern Siberia is the deepest lake in the world, reaching 1,642 metres.",
        "It is also the oldest, at more than 25 million years, and contains about a fifth of the world's unfrozen fresh surface water.",
        "It is home to the Baikal seal, one of the few freshwater seals.",
    ], [
        ("What is the deepest lake in the world?", ["Lake Baikal", "Baikal"]),
    ]),
    ("Lake Victoria", [
        "Lake Victoria is the largest lake in Africa and the largest tropical lake in the world.",
        "It is shared by Tanzania, Uganda and Kenya.",
        "The British explorer John Hanning Speke reached it in 1858 and named it after Queen Victoria, identifying it as the source of the Nile.",
    ], [
        ("Which explorer identified Lake Victoria as the source of the Nile?", ["John Hanning Speke", "Speke"]),
        ("What is the largest lake in Africa?", ["Lake Victoria"]),
    ]),
    ("Caspian Sea", [
        "The Caspian Sea is the largest inland body of water in the world by area.",
        "It is bordered by Russia, Kazakhstan, Turkmenistan, Iran and Azerbaijan.",
        "Its water is brackish, and it is famous for sturgeon, the source of caviar.",
        "The Volga supplies most of its inflow.",
    ], [
        ("What is the largest inland body of water in the world?", ["Caspian Sea"]),
    ]),
    ("Lake Titicaca", [
        "Lake Titicaca lies on the border between Peru and Bolivia in the Andes at about 3,810 metres above sea level.",
        "It is often described as the highest navigable lake in the world.",
        "The Uros people live on floating islands made of totora reeds.",
    ], [
        ("Which lake lies on the border between Peru and Bolivia?", ["Lake Titicaca", "Titicaca"]),
    ]),
    ("Sahara", [
        "The Sahara is the largest hot desert in the world, covering much of North Africa.",
        "Its area of about nine million square kilometres is comparable to that of the United States or China.",
        "Only a small part of it is covered by sand dunes, called ergs; most is rocky plateau.",
        "Its name comes from the Arabic word for desert.",
    ], [
        ("What is the largest hot desert in the world?", ["Sahara"]),
    ]),
    ("Atacama Desert", [
        "The Atacama Desert in northern Chile is one of the driest places on Earth.",
        "Some weather stations there have never recorded rain.",
        "Its high altitude, clear skies and dry air make it home to major observatories, such as the ALMA radio telescope.",
    ], [
        ("In which desert is the ALMA radio telescope located?", ["Atacama", "Atacama Desert"]),
    ]),
    ("Dead Sea", [
        "The Dead Sea is a salt lake bordered by Jordan to the east and Israel and the West Bank to the west.",
        "Its shore, more than 430 metres below sea level, is the lowest land on Earth.",
        "Its water is almost ten times saltier than the ocean, so people float easily in it.",
        "The Dead Sea Scrolls were discovered in caves near its northern shore from 1947.",
    ], [
        ("What is the lowest point on land on Earth?", ["Dead Sea"]),
    ]),
    ("Angel Falls", [
        "Angel Falls in Venezuela is the highest uninterrupted waterfall in the world, with a height of 979 metres.",
        "It plunges from the edge of the Auyán-tepui mountain in Canaima National Park.",
        "It is named after the American aviator Jimmie Angel, who flew over it in 1933.",
    ], [
        ("What is the highest uninterrupted waterfall in the world?", ["Angel Falls"]),
        ("After whom is Angel Falls named?", ["Jimmie Angel"]),
    ]),
    ("Niagara Falls", [
        "Niagara Falls is a group of three waterfalls on the Niagara River, on the border between Canada and the United States.",
        "The largest, the Horseshoe Falls, lies mostly in Ontario.",
        "The river drains Lake Erie into Lake Ontario.",
        "The falls have long been a source of hydroelectric power.",
    ], [
        ("Which lake does the Niagara River drain into Lake Ontario?", ["Lake Erie"]),
    ]),
    ("Mariana Trench", [
        "The Mariana Trench in the western Pacific Ocean is the deepest known part of the world's oceans.",
        "Its deepest point, the Challenger Deep, lies nearly 11,000 metres below sea level.",
        "Jacques Piccard and Don Walsh reached the bottom in the bathyscaphe Trieste in 1960.",
        "The film director James Cameron made a solo dive there in 2012.",
    ], [
        ("What is the deepest point of the Mariana Trench called?", ["Challenger Deep"]),
        ("In which bathyscaphe did Piccard and Walsh reach the bottom of the Mariana Trench?", ["Trieste"]),
    ]),
    ("Great Barrier Reef", [
        "The Great Barrier Reef off the coast of Queensland, Australia, is the largest coral reef system in the world.",
        "It stretches for more than 2,300 kilometres and is made up of thousands of individual reefs.",
        "It can be seen from space and was declared a World Heritage Site in 1981.",
        "Rising sea temperatures have caused repeated mass coral bleaching.",
    ], [
        ("What is the largest coral reef system in the world?", ["Great Barrier Reef"]),
    ]),
]

LANDMARKS = [
    ("Eiffel Tower", [
        "The Eiffel Tower is a wrought-iron lattice tower on the Champ de Mars in Paris.",
        "It was built by the company of the engineer Gustave Eiffel as the entrance to the 1889 Exposition Universelle, held for the centenary of the French Revolution.",
        "At 300 metres it was the tallest structure in the world until the Chrysler Building was completed in New York in 1930.",
        "Many artists protested against it at first, but it became the symbol of Paris.",
    ], [
        ("For which event was the Eiffel Tower built?", ["Exposition Universelle", "1889 Exposition Universelle"]),
        ("Which building overtook the Eiffel Tower as the world's tallest structure?", ["Chrysler Building"]),
    ]),
    ("Colosseum", [
        "The Colosseum is an oval amphitheatre in the centre of Rome, originally known as the Flavian Amphitheatre.",
        "Construction began under the emperor Vespasian around AD 70 and was completed under his son Titus in AD 80.",
        "It could hold an estimated 50,000 spectators, who watched gladiator fights and animal hunts.",
        "Earthquakes and stone robbers later damaged it, but it remains one of Rome's most visited monuments.",
    ], [
        ("What was the original name of the Colosseum?", ["Flavian Amphitheatre"]),
        ("Under which emperor was the Colosseum completed in AD 80?", ["Titus"]),
    ]),
    ("Taj Mahal", [
        "The Taj Mahal is a white marble mausoleum on the bank of the Yamuna River in Agra, India.",
        "The Mughal emperor Shah Jahan commissioned it in 1631 in memory of his wife Mumtaz Mahal, who died in childbirth.",
        "It took about twenty years to complete and combines Persian, Islamic and Indian architectural styles.",
    ], [
        ("Which emperor built the Taj Mahal?", ["Shah Jahan"]),
        ("In which Indian city is the Taj Mahal?", ["Agra"]),
        ("In memory of whom was the Taj Mahal built?", ["Mumtaz Mahal"]),
    ]),
    ("Statue of Liberty", [
        "The Statue of Liberty stands on Liberty Island in New York Harbor.",
        "It was a gift from the people of France to the United States and was dedicated in 1886.",
        "The sculptor Frédéric Auguste Bartholdi designed it, and Gustave Eiffel engineered its internal iron framework.",
        "The statue holds a torch and a tablet inscribed with the date 4 July 1776.",
    ], [
        ("Who designed the Statue of Liberty?", ["Frédéric Auguste Bartholdi", "Bartholdi"]),
        ("In what year was the Statue of Liberty dedicated?", ["1886"]),
    ]),
    ("Machu Picchu", [
        "Machu Picchu is a fifteenth-century Inca citadel on a mountain ridge above the Urubamba valley in Peru.",
        "It is thought to have been built as an estate for the Inca emperor Pachacuti.",
        "It was abandoned at the time of the Spanish conquest and brought to international attention by the American explorer Hiram Bingham in 1911.",
        "Visitors often reach it on foot along the Inca Trail.",
    ], [
        ("Which explorer brought Machu Picchu to international attention in 1911?", ["Hiram Bingham", "Bingham"]),
        ("For which Inca emperor was Machu Picchu probably built?", ["Pachacuti"]),
    ]),
    ("Great Pyramid of Giza", [
        "The Great Pyramid of Giza was built as the tomb of the pharaoh Khufu, also known as Cheops, around 2560 BC.",
        "For more than 3,800 years it was the tallest man-made structure in the world.",
        "It is the oldest of the Seven Wonders of the Ancient World and the only one still largely intact.",
        "The Great Sphinx stands nearby.",
    ], [
        ("For which pharaoh was the Great Pyramid of Giza built?", ["Khufu", "Cheops"]),
    ]),
    ("Petra", [
        "Petra is an ancient city in southern Jordan, famous for buildings carved directly into rose-coloured sandstone cliffs.",
        "It was the capital of the Nabataean kingdom.",
        "Visitors enter through the Siq, a narrow gorge that opens onto the Treasury, or Al-Khazneh.",
        "The Swiss traveller Johann Ludwig Burckhardt described it to Europeans in 1812.",
    ], [
        ("In which country is the ancient city of Petra?", ["Jordan"]),
        ("Which people made Petra their capital?", ["Nabataeans", "Nabataean"]),
    ]),
    ("Parthenon", [
        "The Parthenon, in Greek Παρθενών, is a temple on the Acropolis of Athens dedicated to the goddess Athena.",
        "It was built between 447 and 432 BC, during the time of Pericles, by the architects Ictinus and Callicrates, with sculpture overseen by Phidias.",
        "In 1687 an explosion of gunpowder stored inside it by the Ottomans destroyed much of the building.",
    ], [
        ("To which goddess was the Parthenon dedicated?", ["Athena"]),
        ("Which sculptor oversaw the decoration of the Parthenon?", ["Phidias"]),
    ]),
    ("Sagrada Família", [
        "The Sagrada Família is a large basilica in Barcelona designed by the Catalan architect Antoni Gaudí.",
        "Construction began in 1882, and Gaudí worked on it until his death in 1926, when less than a quarter was complete.",
        "It was consecrated as a basilica by Pope Benedict XVI in 2010 and is still under construction.",
    ], [
        ("Which architect designed the Sagrada Família?", ["Antoni Gaudí", "Gaudí"]),
        ("In which city is the Sagrada Família?", ["Barcelona"]),
    ]),
    ("Angkor Wat", [
        "Angkor Wat in Cambodia is the largest religious monument in the world.",
        "It was built in the early twelfth century by the Khmer king Suryavarman II as a Hindu temple dedicated to Vishnu, and later became a Buddhist site.",
        "It appears on the national flag of Cambodia.",
    ], [
        ("Which king built Angkor Wat?", ["Suryavarman II"]),
        ("Which monument appears on the flag of Cambodia?", ["Angkor Wat"]),
    ]),
    ("Stonehenge", [
        "Stonehenge is a prehistoric monument on Salisbury Plain in Wiltshire, England.",
        "It consists of a ring of large standing sarsen stones with smaller bluestones, many of which were brought from the Preseli Hills in Wales.",
        "It was built in stages between about 3000 and 2000 BC, and its axis aligns with the sunrise at the summer solstice.",
    ], [
        ("From which Welsh hills were the bluestones of Stonehenge brought?", ["Preseli Hills", "Preseli"]),
        ("In which English county is Stonehenge?", ["Wiltshire"]),
    ]),
    ("Christ the Redeemer", [
        "Christ the Redeemer is a statue of Jesus on the summit of Corcovado mountain overlooking Rio de Janeiro.",
        "It was completed in 1931 and is 30 metres tall, not counting its pedestal.",
        "The French sculptor Paul Landowski designed it, and the Brazilian engineer Heitor da Silva Costa built it.",
    ], [
        ("On which mountain does the Christ the Redeemer statue stand?", ["Corcovado"]),
    ]),
    ("Sydney Opera House", [
        "The Sydney Opera House is a performing arts centre on Bennelong Point in Sydney Harbour.",
        "It was designed by the Danish architect Jørn Utzon, whose design won an international competition in 1957.",
        "After disputes with the government, Utzon left the project in 1966, and it was opened by Queen Elizabeth II in 1973.",
        "Its roof is made of shell-shaped sections covered in white tiles.",
    ], [
        ("Who designed the Sydney Opera House?", ["Jørn Utzon", "Utzon"]),
        ("In what year was the Sydney Opera House opened?", ["1973"]),
    ]),
    ("Neuschwanstein Castle", [
        "Neuschwanstein Castle is a nineteenth-century palace on a hill in Bavaria, Germany.",
        "It was commissioned by King Ludwig II of Bavaria as a retreat and in honour of Richard Wagner.",
        "Ludwig died in 1886 before it was finished, and it opened to the public shortly afterwards.",
        "It is said to have inspired the castle of Disney's Sleeping Beauty.",
    ], [
        ("Which king built Neuschwanstein Castle?", ["Ludwig II"]),
    ]),
    ("Alhambra", [
        "The Alhambra is a palace and fortress complex in Granada, in the south of Spain.",
        "It was largely built by the Nasrid dynasty, the last Muslim rulers of Spain, in the thirteenth and fourteenth centuries.",
        "Its Court of the Lions and its gardens, the Generalife, are famous for their decoration and water features.",
        "Granada fell to Ferdinand and Isabella in 1492.",
    ], [
        ("In which city is the Alhambra?", ["Granada"]),
        ("Which dynasty built most of the Alhambra?", ["Nasrid"]),
    ]),
    ("Hagia Sophia", [
        "Hagia Sophia in Istanbul was completed in 537 as a cathedral under the Byzantine emperor Justinian I.",
        "Its vast dome was a feat of engineering for its time.",
        "After the Ottoman conquest of Constantinople in 1453 it became a mosque, in 1934 a museum, and in 2020 a mosque again.",
    ], [
        ("Under which emperor was Hagia Sophia built?", ["Justinian I", "Justinian"]),
    ]),
    ("Forbidden City", [
        "The Forbidden City in Beijing was the imperial palace of China's Ming and Qing dynasties from 1420 to 1912.",
        "It was built on the orders of the Yongle Emperor and covers about 72 hectares.",
        "It now houses the Palace Museum.",
        "Puyi, the last emperor, lived there until 1924.",
    ], [
        ("Who was the last emperor to live in the Forbidden City?", ["Puyi"]),
        ("Which emperor ordered the construction of the Forbidden City?", ["Yongle Emperor", "Yongle"]),
    ]),
    ("Golden Gate Bridge", [
        "The Golden Gate Bridge is a suspension bridge spanning the strait between San Francisco Bay and the Pacific Ocean.",
        "It opened in 1937, when its main span of 1,280 metres was the longest in the world.",
        "Its distinctive colour is called International Orange.",
        "Joseph Strauss was the chief engineer.",
    ], [
        ("What is the colour of the Golden Gate Bridge called?", ["International Orange"]),
        ("In what year did the Golden Gate Bridge open?", ["1937"]),
    ]),
    ("Burj Khalifa", [
        "The Burj Khalifa in Dubai is the tallest building in the world, at 828 metres.",
        "It opened in 2010 and was designed by the architecture firm Skidmore, Owings & Merrill.",
        "It was named after Khalifa bin Zayed Al Nahyan, the president of the United Arab Emirates.",
    ], [
        ("What is the tallest building in the world?", ["Burj Khalifa"]),
        ("How tall is the Burj Khalifa?", ["828 metres", "828"]),
    ]),
    ("Brandenburg Gate", [
        "The Brandenburg Gate is an eighteenth-century neoclassical monument in Berlin, completed in 1791.",
        "It was designed by Carl Gotthard Langhans and is topped by the Quadriga, a chariot drawn by four horses.",
        "During the Cold War it stood just behind the Berlin Wall, and it became a symbol of German reunification.",
    ], [
        ("Who designed the Brandenburg Gate?", ["Carl Gotthard Langhans", "Langhans"]),
        ("What is the sculpture on top of the Brandenburg Gate called?", ["Quadriga"]),
    ]),
    ("Tower of London", [
        "The Tower of London is a historic castle on the north bank of the River Thames.",
        "Its central White Tower was begun by William the Conqueror in the 1070s.",
        "It has served as a royal residence, a prison and an armoury, and it houses the Crown Jewels.",
        "Its ceremonial guards are known as Yeomen Warders or Beefeaters.",
    ], [
        ("Who began building the White Tower of the Tower of London?", ["William the Conqueror"]),
        ("What are the guards of the Tower of London popularly called?", ["Beefeaters", "Yeomen Warders"]),
    ]),
    ("Great Wall of China", [
        "The Great Wall of China is a series of fortifications built across northern China over many centuries to guard against raids from the steppe.",
        "The first walls were joined under Qin Shi Huang, the first emperor of a unified China, in the third century BC.",
        "Most of the brick and stone wall visible today was built during the Ming dynasty.",
        "Contrary to popular belief, it cannot be seen with the naked eye from the Moon.",
    ], [
        ("During which dynasty was most of the surviving Great Wall built?", ["Ming", "Ming dynasty"]),
    ]),
]

HISTORY = [
    ("Fall of the Berlin Wall", [
        "The Berlin Wall, built by East Germany in 1961, divided East and West Berlin for twenty-eight years.",
        "On the evening of 9 November 1989, after a confused announcement about new travel rules, crowds gathered at the crossings and the guards opened the gates.",
        "Germany was formally reunified on 3 October 1990, a date now celebrated as German Unity Day.",
    ], [
        ("On what date did the Berlin Wall fall?", ["9 November 1989"]),
        ("On what date was Germany reunified?", ["3 October 1990"]),
    ]),
    ("Storming of the Bastille", [
        "On 14 July 1789 a crowd in Paris stormed the Bastille, a royal fortress and prison that symbolised the authority of the monarchy.",
        "The event marked the beginning of the French Revolution.",
        "The anniversary is now the French national holiday, known as Bastille Day or la Fête nationale.",
        "King Louis XVI was executed in January 1793.",
    ], [
        ("What happened in Paris on 14 July 1789?", ["storming of the Bastille", "Bastille"]),
        ("Which French king was executed in 1793?", ["Louis XVI"]),
    ]),
    ("United States Declaration of Independence", [
        "The Declaration of Independence was adopted by the Second Continental Congress in Philadelphia on 4 July 1776.",
        "It announced that the thirteen American colonies no longer considered themselves part of the British Empire.",
        "Thomas Jefferson was its principal author, and John Hancock's large signature became famous.",
        "The document is kept in the National Archives in Washington.",
    ], [
        ("Who was the principal author of the Declaration of Independence?", ["Thomas Jefferson", "Jefferson"]),
        ("In which city was the Declaration of Independence adopted?", ["Philadelphia"]),
    ]),
    ("Battle of Hastings", [
        "The Battle of Hastings was fought on 14 October 1066 between the Norman army of William, Duke of Normandy, and the English army of King Harold II.",
        "Harold was killed, according to tradition by an arrow in the eye, and William became king of England.",
        "The battle and the events leading to it are depicted in the Bayeux Tapestry.",
    ], [
        ("Which English king was killed at the Battle of Hastings?", ["Harold II", "Harold"]),
        ("In what year was the Battle of Hastings fought?", ["1066"]),
    ]),
    ("Magna Carta", [
        "Magna Carta is a charter of rights agreed by King John of England at Runnymede, near Windsor, on 15 June 1215.",
        "It was forced on the king by rebellious barons and established that the king was subject to the law.",
        "Although the original was annulled within months, revised versions were reissued and it became a foundation of English constitutional law.",
    ], [
        ("Which king agreed to Magna Carta?", ["King John", "John"]),
        ("Where was Magna Carta agreed?", ["Runnymede"]),
    ]),
    ("Voyages of Christopher Columbus", [
        "Christopher Columbus, a Genoese navigator sponsored by Ferdinand and Isabella of Spain, sailed west in August 1492 hoping to reach Asia.",
        "His three ships were the Santa María, the Niña and the Pinta.",
        "He landed in the Bahamas on 12 October 1492, an island he named San Salvador, and made three further voyages before his death in 1506.",
    ], [
        ("What were the names of the three ships of Columbus in 1492?", ["Santa María", "Niña", "Pinta"]),
        ("Which monarchs sponsored Columbus's voyage of 1492?", ["Ferdinand and Isabella"]),
    ]),
    ("Magellan–Elcano expedition", [
        "The first circumnavigation of the world was achieved by a Spanish expedition that left Seville in 1519 under the Portuguese explorer Ferdinand Magellan.",
        "Magellan was killed in the Philippines in 1521.",
        "The expedition was completed in 1522 by Juan Sebastián Elcano aboard the Victoria, the only one of five ships to return.",
        "The strait at the southern tip of South America is named after Magellan.",
    ], [
        ("Who completed the first circumnavigation of the world after Magellan's death?", ["Juan Sebastián Elcano", "Elcano"]),
        ("What was the name of the only ship of Magellan's fleet to return?", ["Victoria"]),
    ]),
    ("Apollo 11", [
        "Apollo 11 was the first crewed mission to land on the Moon.",
        "It launched from Kennedy Space Center on 16 July 1969 with Neil Armstrong, Buzz Aldrin and Michael Collins.",
        "Armstrong stepped onto the surface on 20 July, saying it was one small step for man, one giant leap for mankind.",
        "The command module was named Columbia, and the crew returned safely on 24 July.",
    ], [
        ("Who was the first person to walk on the Moon?", ["Neil Armstrong", "Armstrong"]),
        ("Which Apollo 11 astronaut remained in lunar orbit?", ["Michael Collins", "Collins"]),
        ("What was the name of the Apollo 11 command module?", ["Columbia"]),
    ]),
    ("Sputnik 1", [
        "Sputnik 1 was the first artificial satellite, launched by the Soviet Union on 4 October 1957.",
        "It was a polished metal sphere with four radio antennas that transmitted a simple beeping signal.",
        "Its launch started the Space Race and led the United States to create NASA in 1958.",
    ], [
        ("What was the first artificial satellite?", ["Sputnik 1", "Sputnik"]),
        ("In what year was NASA created?", ["1958"]),
    ]),
    ("Yuri Gagarin", [
        "Yuri Gagarin, a Soviet pilot, became the first human in space on 12 April 1961.",
        "His spacecraft, Vostok 1, completed one orbit of Earth in about 108 minutes.",
        "He became an international celebrity but died in a training flight crash in 1968.",
        "Valentina Tereshkova became the first woman in space two years after his flight, in 1963.",
    ], [
        ("Who was the first human in space?", ["Yuri Gagarin", "Gagarin"]),
        ("What was the name of Gagarin's spacecraft?", ["Vostok 1", "Vostok"]),
        ("Who was the first woman in space?", ["Valentina Tereshkova", "Tereshkova"]),
    ]),
    ("First World War", [
        "The First World War began after the assassination of Archduke Franz Ferdinand of Austria in Sarajevo on 28 June 1914.",
        "It was fought between the Allies, including France, Britain and Russia, and the Central Powers, led by Germany and Austria-Hungary.",
        "||",
        "The First World War was dominated on the Western Front by trench warfare, with battles such as Verdun and the Somme in 1916.",
        "The United States entered the war in 1917.",
        "Fighting ended with the armistice of 11 November 1918, and the Treaty of Versailles was signed on 28 June 1919.",
    ], [
        ("Whose assassination in Sarajevo triggered the First World War?", ["Archduke Franz Ferdinand", "Franz Ferdinand"]),
        ("On what date did the armistice end the fighting of the First World War?", ["11 November 1918"]),
        ("Which treaty was signed on 28 June 1919?", ["Treaty of Versailles", "Versailles"]),
    ]),
    ("Second World War", [
        "The Second World War began with the German invasion of Poland on 1 September 1939.",
        "Britain and France declared war on Germany two days later.",
        "The war was fought between the Allies and the Axis powers, led by Germany, Italy and Japan, and became the deadliest conflict in history.",
        "||",
        "The Second World War turned after battles such as Stalingrad and the Allied landings in Normandy on D-Day, 6 June 1944.",
        "Germany surrendered in May 1945, and 8 May is celebrated as Victory in Europe Day.",
        "Japan surrendered after the atomic bombings of Hiroshima and Nagasaki, signing the surrender on 2 September 1945.",
    ], [
        ("On what date did Germany invade Poland?", ["1 September 1939"]),
        ("On what date were the D-Day landings in Normandy?", ["6 June 1944"]),
    ]),
    ("Russian Revolution", [
        "The Russian Revolution of 1917 began in February with the abdication of Tsar Nicholas II.",
        "In October the Bolsheviks, led by Vladimir Lenin, seized power in Petrograd.",
        "A civil war followed, and the Soviet Union was established in 1922.",
    ], [
        ("Which tsar abdicated in 1917?", ["Nicholas II"]),
        ("Who led the Bolsheviks in the October Revolution?", ["Vladimir Lenin", "Lenin"]),
    ]),
    ("Fall of Constantinople", [
        "Constantinople, the capital of the Byzantine Empire, fell to the Ottoman army of Sultan Mehmed II on 29 May 1453 after a siege of about seven weeks.",
        "The last Byzantine emperor, Constantine XI, died in the fighting.",
        "The city, later known as Istanbul, became the Ottoman capital.",
    ], [
        ("Which sultan conquered Constantinople in 1453?", ["Mehmed II"]),
        ("Who was the last Byzantine emperor?", ["Constantine XI"]),
    ]),
    ("Battle of Waterloo", [
        "The Battle of Waterloo was fought on 18 June 1815 near Waterloo, in present-day Belgium.",
        "Napoleon was defeated by an allied army under the Duke of Wellington and a Prussian army under Gebhard Leberecht von Blücher.",
        "The defeat ended his rule, and he was exiled to the island of Saint Helena, where he died in 1821.",
    ], [
        ("Which Prussian commander fought alongside Wellington at Waterloo?", ["Blücher", "Gebhard Leberecht von Blücher"]),
        ("To which island was Napoleon exiled after Waterloo?", ["Saint Helena"]),
    ]),
    ("Napoleon", [
        "Napoleon Bonaparte was born in Ajaccio, Corsica, in 1769.",
        "He rose to power during the French Revolution and crowned himself emperor of the French in Notre-Dame de Paris in 1804.",
        "His Napoleonic Code reformed French civil law and influenced legal systems around the world.",
        "His invasion of Russia in 1812 ended in disaster.",
    ], [
        ("Where was Napoleon Bonaparte born?", ["Ajaccio", "Corsica"]),
        ("In what year did Napoleon crown himself emperor?", ["1804"]),
    ]),
    ("Unification of Germany", [
        "The German Empire was proclaimed on 18 January 1871 in the Hall of Mirrors at the Palace of Versailles, near the end of the Franco-Prussian War.",
        "The Prussian king Wilhelm I became German emperor.",
        "The unification was largely the work of the Prussian minister-president Otto von Bismarck, who became the first chancellor.",
    ], [
        ("Who was the first chancellor of the German Empire?", ["Otto von Bismarck", "Bismarck"]),
        ("In which room was the German Empire proclaimed in 1871?", ["Hall of Mirrors"]),
    ]),
    ("Unification of Italy", [
        "The unification of Italy, known as the Risorgimento, brought the states of the peninsula together in the nineteenth century.",
        "Giuseppe Garibaldi's expedition of the Thousand conquered Sicily and Naples in 1860.",
        "The Kingdom of Italy was proclaimed in 1861 with Victor Emmanuel II as king, and Rome became the capital in 1871.",
        "Count Camillo Benso di Cavour guided the diplomacy.",
    ], [
        ("Who led the expedition of the Thousand?", ["Giuseppe Garibaldi", "Garibaldi"]),
        ("Who became the first king of Italy in 1861?", ["Victor Emmanuel II"]),
    ]),
    ("Meiji Restoration", [
        "The Meiji Restoration of 1868 returned political power in Japan from the Tokugawa shogunate to the emperor.",
        "The young Emperor Meiji moved his residence from Kyoto to Edo, which was renamed Tokyo.",
        "The new government abolished the feudal domains, built railways and a modern army, and introduced a constitution in 1889.",
    ], [
        ("In what year did the Meiji Restoration take place?", ["1868"]),
        ("Which shogunate lost power in the Meiji Restoration?", ["Tokugawa", "Tokugawa shogunate"]),
    ]),
    ("Independence of India", [
        "India gained independence from British rule on 15 August 1947.",
        "The independence movement was led by the Indian National Congress and by Mahatma Gandhi, who promoted nonviolent resistance, including the Salt March of 1930.",
        "Jawaharlal Nehru became the first prime minister.",
        "The partition of British India created the separate state of Pakistan.",
    ], [
        ("Who was the first prime minister of India?", ["Jawaharlal Nehru", "Nehru"]),
        ("On what date did India become independent?", ["15 August 1947"]),
    ]),
    ("United Nations", [
        "The United Nations was founded in 1945 to maintain international peace and security.",
        "Its Charter was signed in San Francisco on 26 June 1945 and came into force on 24 October, now celebrated as United Nations Day.",
        "Its headquarters are in New York City, and its Security Council has five permanent members.",
    ], [
        ("In which city was the Charter of the United Nations signed?", ["San Francisco"]),
        ("Where are the headquarters of the United Nations?", ["New York City", "New York"]),
    ]),
    ("Chernobyl disaster", [
        "The Chernobyl disaster occurred on 26 April 1986 at reactor No. 4 of the Chernobyl Nuclear Power Plant near Pripyat, in the Ukrainian part of the Soviet Union.",
        "A safety test went wrong, causing an explosion and fire that released radioactive material across Europe.",
        "An exclusion zone of 30 kilometres was established around the plant.",
    ], [
        ("On what date did the Chernobyl disaster occur?", ["26 April 1986"]),
        ("Near which town was the Chernobyl power plant?", ["Pripyat"]),
    ]),
    ("Titanic", [
        "RMS Titanic was a British passenger liner that sank in the North Atlantic on 15 April 1912 after striking an iceberg late on the previous night.",
        "She was on her maiden voyage from Southampton to New York.",
        "More than 1,500 people died, partly because there were not enough lifeboats.",
        "The wreck was found in 1985 by an expedition led by Robert Ballard.",
    ], [
        ("From which port did the Titanic begin its maiden voyage?", ["Southampton"]),
        ("Who led the expedition that found the wreck of the Titanic?", ["Robert Ballard", "Ballard"]),
        ("On what date did the Titanic sink?", ["15 April 1912"]),
    ]),
    ("Black Death", [
        "The Black Death was a pandemic of bubonic plague that swept through Europe between 1347 and 1351.",
        "It was caused by the bacterium Yersinia pestis, spread by fleas carried by rats.",
        "It killed perhaps a third or more of Europe's population.",
    ], [
        ("Which bacterium caused the Black Death?", ["Yersinia pestis"]),
    ]),
    ("Great Fire of London", [
        "The Great Fire of London broke out on 2 September 1666 in a bakery on Pudding Lane.",
        "It burned for four days and destroyed most of the medieval City, including St Paul's Cathedral.",
        "Christopher Wren designed the new St Paul's Cathedral and the Monument to the fire.",
    ], [
        ("On which street did the Great Fire of London start?", ["Pudding Lane"]),
        ("Who designed the new St Paul's Cathedral after the Great Fire of London?", ["Christopher Wren", "Wren"]),
    ]),
    ("Assassination of Julius Caesar", [
        "Julius Caesar was assassinated in Rome on the Ides of March, 15 March 44 BC.",
        "A group of senators led by Marcus Junius Brutus and Gaius Cassius Longinus stabbed him at a meeting of the Senate in the Theatre of Pompey.",
        "His death led to civil war and the rise of his adopted heir Octavian, who became the emperor Augustus.",
    ], [
        ("On what date was Julius Caesar assassinated?", ["15 March 44 BC", "Ides of March"]),
        ("Under what name did Octavian rule as emperor?", ["Augustus"]),
    ]),
    ("Protestant Reformation", [
        "The Protestant Reformation is usually dated from 1517, when Martin Luther, a monk and professor in Wittenberg, published his Ninety-five Theses against the sale of indulgences.",
        "Luther was excommunicated in 1521 and translated the Bible into German.",
        "Other reformers included Huldrych Zwingli in Zürich and John Calvin in Geneva.",
    ], [
        ("In which town did Martin Luther publish his Ninety-five Theses?", ["Wittenberg"]),
        ("In which city did John Calvin lead the Reformation?", ["Geneva"]),
    ]),
    ("Nelson Mandela", [
        "Nelson Mandela was a South African anti-apartheid leader born in 1918.",
        "He spent twenty-seven years in prison, many of them on Robben Island, before his release on 11 February 1990.",
        "He shared the Nobel Peace Prize with F. W. de Klerk in 1993 and became South Africa's first Black president in 1994.",
    ], [
        ("On which island was Nelson Mandela imprisoned?", ["Robben Island"]),
        ("With whom did Nelson Mandela share the Nobel Peace Prize?", ["F. W. de Klerk", "de Klerk"]),
    ]),
    ("Suez Canal", [
        "The Suez Canal links the Mediterranean Sea to the Red Sea across Egypt.",
        "It was built by a company organised by the French diplomat Ferdinand de Lesseps and opened in 1869.",
        "Egypt nationalised the canal in 1956, leading to the Suez Crisis.",
        "It allows ships to travel between Europe and Asia without sailing around Africa.",
    ], [
        ("Who organised the building of the Suez Canal?", ["Ferdinand de Lesseps", "de Lesseps"]),
        ("In what year did the Suez Canal open?", ["1869"]),
    ]),
    ("Panama Canal", [
        "The Panama Canal crosses the Isthmus of Panama and links the Atlantic and Pacific Oceans.",
        "A French attempt led by Ferdinand de Lesseps failed in the 1880s because of disease and engineering problems.",
        "The United States completed the canal, which opened on 15 August 1914.",
        "Control passed to Panama at the end of 1999.",
    ], [
        ("In what year did the Panama Canal open?", ["1914"]),
    ]),
]

ANIMALS = [
    ("Blue whale", [
        "The blue whale is the largest animal known to have ever lived, reaching about 30 metres in length.",
        "It feeds almost entirely on krill, tiny crustaceans that it filters from the water through baleen plates.",
        "Its calls are among the loudest sounds made by any animal.",
        "Commercial whaling brought it close to extinction before it was protected in 1966.",
    ], [
        ("What is the largest animal that has ever lived?", ["blue whale"]),
        ("What does the blue whale mainly eat?", ["krill"]),
    ]),
    ("Cheetah", [
        "The cheetah is the fastest land animal, able to sprint at about 100 kilometres per hour over short distances.",
        "It lives mainly in the savannas of eastern and southern Africa, with a small population in Iran.",
        "Unlike other big cats, it hunts mainly by day and cannot fully retract its claws.",
    ], [
        ("What is the fastest land animal?", ["cheetah"]),
    ]),
    ("Giant panda", [
        "The giant panda is a bear native to the mountain forests of central China, especially Sichuan.",
        "Bamboo makes up more than 99 per cent of its diet.",
        "It has an enlarged wrist bone that works like a thumb for gripping stems.",
        "It is the symbol of the World Wide Fund for Nature.",
    ], [
        ("What makes up almost all of a giant panda's diet?", ["bamboo"]),
        ("Which animal is the symbol of the World Wide Fund for Nature?", ["giant panda", "panda"]),
    ]),
    ("Emperor penguin", [
        "The emperor penguin is the tallest and heaviest of all penguins and lives only in Antarctica.",
        "It breeds during the Antarctic winter.",
        "The male incubates the single egg on its feet for about two months while the female feeds at sea.",
        "It can dive deeper than 500 metres.",
    ], [
        ("Which is the largest species of penguin?", ["emperor penguin"]),
    ]),
    ("Koala", [
        "The koala is a tree-dwelling marsupial native to eastern Australia.",
        "It feeds almost exclusively on eucalyptus leaves, which are low in nutrients, so it sleeps for up to twenty hours a day.",
        "Its young, called a joey, develops in its mother's pouch.",
    ], [
        ("On the leaves of which tree does the koala feed?", ["eucalyptus"]),
        ("What is a young koala called?", ["joey"]),
    ]),
    ("African elephant", [
        "The African bush elephant is the largest living land animal; large males can weigh more than six tonnes.",
        "Elephants use their trunks to breathe, smell, drink and grasp objects.",
        "A female's pregnancy lasts about 22 months, the longest of any mammal.",
        "The ivory trade has caused severe declines in their numbers.",
    ], [
        ("Which mammal has the longest pregnancy?", ["elephant", "African elephant"]),
    ]),
    ("Giraffe", [
        "The giraffe, native to Africa, is the tallest living animal, with males reaching about 5.5 metres.",
        "Despite its long neck, it has only seven neck vertebrae, the same number as most mammals.",
        "It feeds on the leaves of acacia trees.",
    ], [
        ("What is the tallest living animal?", ["giraffe"]),
    ]),
    ("Peregrine falcon", [
        "The peregrine falcon is found on every continent except Antarctica.",
        "When diving on prey, called stooping, it can exceed 300 kilometres per hour, making it the fastest animal on Earth.",
        "Its numbers fell sharply because of the pesticide DDT but have since recovered, and it now nests on city skyscrapers.",
    ], [
        ("Which bird is the fastest animal on Earth when diving?", ["peregrine falcon", "peregrine"]),
    ]),
    ("Hummingbird", [
        "Hummingbirds are small birds of the Americas that hover by beating their wings up to about eighty times a second.",
        "They are the only birds that can fly backwards.",
        "The bee hummingbird of Cuba is the smallest bird in the world, about 5 centimetres long.",
    ], [
        ("What is the smallest bird in the world?", ["bee hummingbird"]),
    ]),
    ("Ostrich", [
        "The ostrich of Africa is the largest living bird and lays the largest eggs.",
        "It cannot fly, but it can run at about 70 kilometres per hour.",
        "The story that it buries its head in the sand is a myth.",
    ], [
        ("What is the largest living bird?", ["ostrich"]),
    ]),
    ("Komodo dragon", [
        "The Komodo dragon is the largest living lizard, reaching up to 3 metres.",
        "It is found only on a few Indonesian islands, including Komodo, Rinca and Flores.",
        "It hunts deer and pigs, and its bite delivers venom.",
    ], [
        ("What is the largest living lizard?", ["Komodo dragon"]),
    ]),
    ("Polar bear", [
        "The polar bear lives around the Arctic Ocean and hunts mainly seals from the sea ice.",
        "It is the largest land carnivore.",
        "Its fur appears white, but its skin is black, which helps it absorb heat.",
        "The shrinking of Arctic sea ice is a major threat to its survival.",
    ], [
        ("What is the largest land carnivore?", ["polar bear"]),
    ]),
    ("Axolotl", [
        "The axolotl is a salamander native to the lake complex of Xochimilco near Mexico City.",
        "It keeps its larval features, such as feathery external gills, throughout its adult life.",
        "It can regenerate lost limbs and even parts of its heart and brain, which makes it important in research.",
    ], [
        ("In which lake system near Mexico City does the axolotl live?", ["Xochimilco"]),
    ]),
    ("Platypus", [
        "The platypus is a mammal of eastern Australia that lays eggs.",
        "It has a bill like a duck, a tail like a beaver and webbed feet, and it finds prey using electroreception.",
        "Males have a venomous spur on their hind legs.",
        "When the first specimen reached Britain in 1799, some scientists thought it was a hoax.",
    ], [
        ("Which egg-laying mammal has a bill like a duck?", ["platypus"]),
    ]),
    ("Chimpanzee", [
        "The chimpanzee is a great ape of the forests and savannas of central and western Africa.",
        "Together with the bonobo, it is the closest living relative of humans.",
        "The primatologist Jane Goodall began studying chimpanzees at Gombe Stream in Tanzania in 1960 and observed them making and using tools.",
    ], [
        ("Which primatologist studied chimpanzees at Gombe Stream?", ["Jane Goodall", "Goodall"]),
    ]),
    ("Octopus", [
        "The octopus is a soft-bodied mollusc with eight arms.",
        "It has three hearts and blue blood, which contains the copper-based protein haemocyanin.",
        "It can change the colour and texture of its skin for camouflage and squirt ink to escape predators.",
        "Octopuses are considered among the most intelligent invertebrates.",
    ], [
        ("How many hearts does an octopus have?", ["three"]),
    ]),
    ("Monarch butterfly", [
        "The monarch butterfly of North America is famous for its annual migration.",
        "Each autumn millions travel up to about 4,000 kilometres to spend the winter in the mountain forests of central Mexico.",
        "Its caterpillars feed on milkweed, which makes them toxic to predators.",
    ], [
        ("On which plant do monarch butterfly caterpillars feed?", ["milkweed"]),
        ("To which country do monarch butterflies migrate for the winter?", ["Mexico"]),
    ]),
    ("Snow leopard", [
        "The snow leopard lives in the high mountains of Central and South Asia, including the Himalayas.",
        "Its thick grey fur and long tail, which it wraps around itself, protect it against the cold.",
        "It cannot roar.",
    ], [
        ("Which big cat lives in the high mountains of Central Asia and cannot roar?", ["snow leopard"]),
    ]),
]

"""Broad overview passages: they share vocabulary with many questions but
mostly do not hold the specific answers, which makes ranking harder.

Each entry: (title, text).
"""

ESSAYS = [
    ("Capital city", "A capital city is the municipality where a country's government has its seat. "
     "Most capitals are also the largest city of their country, but there are many exceptions, and several countries "
     "built new planned capitals during the twentieth century in order to move the seat of government to a more central "
     "or neutral location. Some states divide the functions of a capital between several cities, placing the legislature, "
     "the executive and the highest courts in different places. Capitals usually host foreign embassies and the "
     "headquarters of national institutions."),
    ("Currency", "A currency is a system of money in common use within a country or group of countries. "
     "Modern currencies are issued by central banks and consist of banknotes, coins and, increasingly, electronic balances. "
     "Many names of currencies have a long history: several descend from units of weight, such as the pound, and others "
     "from coins like the thaler, which gave its name to the dollar. Some countries share a single currency, "
     "while others peg their money to that of a larger economy."),
    ("Mountain", "A mountain is a landform that rises prominently above its surroundings, usually with steep slopes and a summit. "
     "Mountains form through tectonic forces, such as the collision of plates, or through volcanic activity. "
     "The height of a summit is normally measured above mean sea level, and national surveys regularly publish revised figures. "
     "High mountains have their own climate zones, and above a certain altitude trees can no longer grow. "
     "Climbers use the term prominence to describe how far a peak rises above the lowest contour that encloses it."),
    ("River", "A river is a natural stream of fresh water flowing towards an ocean, a sea, a lake or another river. "
     "Rivers begin at a source, which may be a spring, a lake or a melting glacier, and end at a mouth, "
     "sometimes forming a delta or an estuary. The area drained by a river and its tributaries is called its basin. "
     "Measuring the length of a river is surprisingly difficult, because the result depends on where the source is placed "
     "and on how the course is followed through lakes and deltas."),
    ("Official language", "An official language is a language given a special legal status in a country or region, "
     "typically used in government, courts and public administration. Some countries have a single official language, "
     "while others recognise two or more, sometimes only in particular regions. A few countries, including some where "
     "one language is spoken by almost everyone, have no official language defined in law at all. "
     "Minority and indigenous languages may enjoy protection without being official."),
    ("Chemical element", "A chemical element is a substance whose atoms all have the same number of protons, "
     "known as the atomic number. There are 118 known elements, of which about ninety occur naturally on Earth. "
     "Elements are arranged in the periodic table in rows called periods and columns called groups, and each has a "
     "one- or two-letter symbol, often derived from its Latin or Greek name. Many of the heavier elements have been made "
     "only in laboratories and exist for fractions of a second."),
    ("Noble gas", "The noble gases form group 18 of the periodic table: helium, neon, argon, krypton, xenon and radon, "
     "together with the synthetic element oganesson. Their outer electron shells are full, so they react very little with "
     "other substances, and they were long called the inert gases. Most of them were discovered in the last decade of the "
     "nineteenth century, largely through the work of chemists in London. They are used in lighting, welding and cryogenics."),
    ("Alkali metal", "The alkali metals make up group 1 of the periodic table: lithium, sodium, potassium, rubidium, "
     "caesium and francium. They are soft, shiny metals with a single electron in their outer shell, and they react "
     "vigorously with water to form hydroxides and hydrogen gas. Because they are so reactive they never occur as free "
     "metals in nature and are usually stored under oil in the laboratory. Their reactivity increases down the group."),
    ("Solar System", "The Solar System consists of the Sun and the objects bound to it by gravity: eight planets, "
     "several dwarf planets, hundreds of moons, and countless asteroids and comets. The four inner planets are small "
     "and rocky, while the four outer planets are giants made mostly of gas or ice. Beyond the orbit of the outermost "
     "planet lies the Kuiper belt, and much farther out the hypothetical Oort cloud, thought to be the source of long-period comets. "
     "The Solar System formed about 4.6 billion years ago from a collapsing cloud of gas and dust."),
    ("Space Race", "The Space Race was a competition between the Soviet Union and the United States during the Cold War "
     "to achieve milestones in spaceflight. It began in the late 1950s and brought rapid progress in rockets, satellites "
     "and crewed spacecraft. Early successes went to the Soviet programme, which launched the first satellite, "
     "the first animal in orbit and the first human. The American programme answered with the Mercury, Gemini and Apollo projects. "
     "Cooperation began with the joint Apollo–Soyuz mission in 1975."),
    ("Opera", "Opera is a form of theatre in which music is the central element and the roles are sung. "
     "It began in Italy around 1600, and Italian remained its dominant language for two centuries, although French, German "
     "and Russian traditions developed later. A typical opera combines arias, recitatives, ensembles and choruses, "
     "accompanied by an orchestra. The text is called a libretto. The great opera houses of Milan, Vienna, Paris, "
     "London and New York remain centres of the art."),
    ("Symphony", "A symphony is an extended composition for orchestra, usually in four movements. "
     "The form developed in the eighteenth century, and the classical symphony typically opens with a fast movement in "
     "sonata form, followed by a slow movement, a minuet or scherzo, and a lively finale. "
     "In the nineteenth century symphonies grew longer and larger, and some composers added voices. "
     "Symphonies are usually numbered in the order in which they were written, although catalogues sometimes differ."),
    ("Ballet", "Ballet is a theatrical dance form that developed in the courts of the Italian Renaissance and was later "
     "refined in France, where its technical vocabulary is still in French. In the nineteenth century Russia became a "
     "major centre, and the great story ballets of that period remain the core of the repertoire. "
     "Ballet companies combine dancers, choreographers and an orchestra. In the twentieth century choreographers "
     "and composers created new works that broke with classical conventions."),
    ("Renaissance art", "Renaissance art flourished in Italy from the fourteenth to the sixteenth centuries before spreading "
     "across Europe. Artists studied the remains of classical antiquity, developed linear perspective and paid close attention "
     "to anatomy and natural light. Florence, Rome and Venice were its main centres, supported by wealthy patrons, "
     "including merchant families and the popes. Painters, sculptors and architects often worked in all three fields."),
    ("Impressionism", "Impressionism was a nineteenth-century art movement that began among a group of Paris-based painters "
     "who exhibited independently of the official Salon from 1874. They painted outdoors, used visible brushstrokes and "
     "tried to capture the changing effects of light and weather. Critics at first mocked the movement, but it became "
     "one of the most popular styles in the history of art. Post-impressionist painters later pushed colour and form "
     "in new directions."),
    ("Novel", "A novel is a long work of narrative prose fiction. Early examples appeared in several cultures, including "
     "Japan and Spain, and the form became popular in Europe in the eighteenth century with the growth of the reading public. "
     "Nineteenth-century novels were often published in instalments in magazines. Critics distinguish many kinds of novel, "
     "such as the historical novel, the social novel and the novel of ideas. In the twentieth century writers experimented "
     "with new narrative techniques."),
    ("Nobel Prize", "The Nobel Prizes are international awards given each year in physics, chemistry, physiology or medicine, "
     "literature and peace, following the will of a Swedish inventor and industrialist. A related prize in economic sciences "
     "was established by the Swedish central bank in 1968. Most of the prizes are presented in Stockholm on 10 December, the "
     "anniversary of the founder's death, while the peace prize is presented in Oslo. Each prize may be shared by up to three people."),
    ("Olympic Games", "The modern Olympic Games are an international multi-sport event held every four years, with separate "
     "Summer and Winter Games. They were inspired by the ancient games held at Olympia in Greece and are organised by the "
     "International Olympic Committee, founded in Paris in 1894. Host cities are chosen several years in advance and often "
     "build new stadiums, transport links and an athletes' village. The Games have been cancelled three times because of the world wars."),
    ("FIFA World Cup", "The FIFA World Cup is an international association football competition contested by the senior "
     "men's national teams of the members of FIFA, the sport's world governing body. It has been held every four years "
     "since 1930, except in 1942 and 1946 because of the Second World War. Qualifying rounds take place over the preceding "
     "years, and the final tournament is hosted by one or more countries. Only a small number of nations have ever won it."),
    ("Exploration", "The Age of Discovery, from the fifteenth to the seventeenth century, saw European sailors chart sea "
     "routes around Africa, across the Atlantic and around the world. Improvements in ship design, such as the caravel, "
     "and in navigation made long ocean voyages possible. Portugal and Spain led the early expeditions, followed by the "
     "Netherlands, England and France. The voyages brought enormous wealth to some and devastation to the peoples of the "
     "lands they reached."),
    ("Industrial Revolution", "The Industrial Revolution was the transition to new manufacturing processes that began in "
     "Great Britain in the second half of the eighteenth century and spread to Europe and North America. "
     "Textile production was mechanised, coal replaced wood as the main fuel, and steam power drove factories, "
     "railways and ships. Cities grew rapidly as workers moved from the countryside, and living and working conditions "
     "became a major political question."),
    ("Cold War", "The Cold War was a period of geopolitical rivalry between the United States and the Soviet Union and "
     "their allies, lasting from shortly after the Second World War until the early 1990s. It was fought through an "
     "arms race, proxy wars, propaganda and competition in science and sport rather than direct war between the two powers. "
     "Europe was divided by what Winston Churchill called the Iron Curtain. The dissolution of the Soviet Union in 1991 ended the era."),
    ("Volcano", "A volcano is an opening in the crust of a planet through which molten rock, ash and gases escape. "
     "Most volcanoes on Earth lie along the boundaries of tectonic plates, especially around the Pacific Ocean in the "
     "so-called Ring of Fire, but some form over hot spots in the middle of plates. Volcanoes are described as active, "
     "dormant or extinct. Volcanic eruptions can affect the climate of the whole planet for several years."),
    ("Desert", "A desert is a region that receives very little precipitation, usually less than 250 millimetres a year. "
     "Deserts can be hot or cold; the largest of all are the polar deserts of Antarctica and the Arctic. "
     "Contrary to popular images, only a minority of desert land is covered by sand dunes, and much of it consists of "
     "bare rock and gravel plains. Plants and animals that live in deserts have adapted to conserve water."),
    ("Waterfall", "A waterfall is a point in a river or stream where water flows over a vertical drop or a series of steep drops. "
     "Waterfalls often form where a river passes from hard rock to softer rock that erodes more quickly. "
     "They can be ranked by height, by width or by the volume of water they carry, and different rankings produce different "
     "record holders. Many large waterfalls are used to generate hydroelectric power."),
    ("Mammal", "Mammals are warm-blooded vertebrates that feed their young with milk produced by mammary glands and "
     "usually have hair or fur. Most give birth to live young, but a few primitive species lay eggs, and marsupials "
     "carry their tiny young in a pouch. Mammals range in size from bats and shrews weighing a few grams to the great whales. "
     "They live on every continent and in all the oceans."),
    ("Bird", "Birds are warm-blooded vertebrates with feathers, toothless beaked jaws and hard-shelled eggs. "
     "Most species can fly, although some, such as the large ratites and the penguins, have lost the ability. "
     "Birds are descended from a group of feathered dinosaurs. Many species migrate over long distances each year "
     "between breeding and wintering grounds, navigating by the Sun, the stars and the Earth's magnetic field."),
    ("Vaccine", "A vaccine is a biological preparation that trains the immune system to recognise and fight a particular "
     "infection. Vaccines may contain weakened or inactivated microbes, fragments of them, or instructions for making a "
     "harmless piece of them. Mass vaccination has eliminated or greatly reduced many once-common diseases. "
     "The field of immunology grew rapidly in the late nineteenth century, and new vaccines are still being developed against diseases such as malaria."),
    ("Electricity", "Electricity is the set of physical phenomena associated with electric charge. Its study advanced "
     "rapidly from the late eighteenth century, when experimenters produced the first steady currents, through the "
     "nineteenth century, when the links between electricity and magnetism were discovered and the first generators, "
     "motors and telegraphs were built. Several units of measurement are named after pioneers of the field. "
     "The large-scale distribution of electric power began in the 1880s."),
    ("Aviation", "Aviation covers the design, building and operation of aircraft. Balloons carried the first human "
     "passengers in the late eighteenth century, and gliders were studied throughout the nineteenth. "
     "Powered, controlled flight in a heavier-than-air machine was achieved at the beginning of the twentieth century, "
     "and aircraft developed rapidly during the two world wars. Jet engines, introduced in the 1940s, made fast "
     "long-distance air travel possible."),
    ("Dam", "A dam is a barrier that holds back water, usually to store it, control floods or generate electricity. "
     "Large dams have created some of the biggest artificial lakes in the world, such as the reservoirs on the Nile in Egypt, "
     "on the Zambezi between Zambia and Zimbabwe and on the Volta in Ghana. The largest hydroelectric plants, on the Yangtze "
     "in China and on the Paraná between Brazil and Paraguay, produce as much electricity as several nuclear stations. "
     "Dams also displace people and change the flow of sediment and fish along a river."),
    ("Alpinism", "Alpinism, the sport of climbing high mountains, developed in the Alps in the late eighteenth century, "
     "when a prize was offered for reaching the summit of the highest peak in western Europe. The golden age of alpinism, "
     "in the middle of the nineteenth century, saw the first ascents of most major Alpine peaks, many of them led by British "
     "climbers with Swiss and French guides. It ended with the ascent of the Matterhorn in 1865, which cost four lives. "
     "Climbers later turned to the Caucasus, the Andes and the Himalayas."),
    ("Himalayas", "The Himalayas are a mountain range in Asia separating the plains of the Indian subcontinent from the "
     "Tibetan Plateau. They stretch across Nepal, Bhutan, India, China and Pakistan and contain many of the highest peaks "
     "on Earth, including all but a few of the summits above 8,000 metres. The range was formed by the collision of the "
     "Indian plate with the Eurasian plate and is still rising. Its glaciers feed great rivers such as the Indus, the "
     "Ganges and the Brahmaputra."),
    ("Andes", "The Andes are the longest continental mountain range in the world, running about 7,000 kilometres along "
     "the western side of South America through Venezuela, Colombia, Ecuador, Peru, Bolivia, Chile and Argentina. "
     "Many of their peaks are volcanoes, and the range contains the highest summits outside Asia. High plateaus, such as "
     "the Altiplano, support large populations, and several capital cities lie at great altitude. The Inca Empire was "
     "centred in the Andes before the Spanish conquest."),
    ("Alps", "The Alps are the highest and most extensive mountain range lying entirely in Europe, stretching about "
     "1,200 kilometres across France, Switzerland, Italy, Monaco, Liechtenstein, Austria, Germany and Slovenia. "
     "They were formed as the African and Eurasian plates collided. Their glaciers feed major rivers flowing to the North "
     "Sea, the Mediterranean and the Black Sea. Tourism, especially skiing, is important to the Alpine economy, and long "
     "railway and road tunnels cross the range."),
    ("Scandinavia", "Scandinavia is a region of northern Europe usually defined as Denmark, Norway and Sweden, which share "
     "historical, cultural and linguistic ties; their languages are largely mutually intelligible. The wider term Nordic "
     "countries also includes Finland and Iceland. The region is known for its long coastlines, its high standard of "
     "living and its extensive welfare states. In the Viking Age, from the late eighth century, Scandinavian seafarers "
     "raided, traded and settled across much of Europe."),
    ("Baltic states", "The Baltic states are Estonia, Latvia and Lithuania, three countries on the eastern shore of the "
     "Baltic Sea. They declared independence after the First World War, were occupied and annexed by the Soviet Union in "
     "1940, and regained their independence in 1990 and 1991. In 1989 some two million people formed a human chain, "
     "the Baltic Way, across the three countries. All three joined the European Union and NATO in 2004."),
    ("Caucasus", "The Caucasus is a region between the Black Sea and the Caspian Sea, crossed by the Greater Caucasus "
     "mountain range, which is often taken as part of the boundary between Europe and Asia. It includes Georgia, Armenia "
     "and Azerbaijan and parts of southern Russia. The region has a great variety of languages and peoples. Its highest "
     "mountain is a dormant volcano on the Russian side of the range."),
    ("Eurozone", "The eurozone is the group of European Union member states that use the euro as their currency. "
     "Euro banknotes and coins entered circulation on 1 January 2002, replacing national currencies such as the French "
     "franc, the German mark and the Italian lira. Monetary policy for the zone is set by the European Central Bank in "
     "Frankfurt. Several states outside the European Union also use the euro. Countries that join must meet conditions on "
     "inflation, debt and exchange rates."),
    ("Louvre", "The Louvre in Paris is the most visited art museum in the world. Originally a royal fortress and then a palace, "
     "it opened as a museum in 1793, during the French Revolution. Its collections range from ancient Egyptian and Greek "
     "antiquities, such as the Venus de Milo and the Winged Victory of Samothrace, to European paintings. Its most famous "
     "painting, the Mona Lisa, hangs behind protective glass. The glass pyramid in its main courtyard was designed by "
     "the architect I. M. Pei and opened in 1989."),
    ("Museo del Prado", "The Museo del Prado in Madrid, opened in 1819, is the main national art museum of Spain. "
     "It holds one of the finest collections of European painting, built largely from the royal collections. "
     "Spanish masters are especially well represented, with famous works such as Las Meninas and The Third of May 1808, "
     "as well as paintings by Titian, Rubens and Hieronymus Bosch, including The Garden of Earthly Delights. "
     "The museum has been expanded several times."),
    ("Museum of Modern Art", "The Museum of Modern Art, known as MoMA, in Midtown Manhattan, New York, was founded in 1929. "
     "It is one of the most influential museums of modern and contemporary art. Among the best-known works in its collection "
     "are The Starry Night, The Persistence of Memory and Les Demoiselles d'Avignon, as well as works of design, "
     "photography and film. The museum has been rebuilt and enlarged several times."),
    ("Uffizi", "The Uffizi Gallery in Florence is one of the oldest and most famous art museums in Europe. "
     "The building was designed by Giorgio Vasari in the sixteenth century as offices for the Medici administration, "
     "which is the meaning of its name. Its collection of Italian Renaissance paintings includes The Birth of Venus, "
     "the Annunciation and many other masterpieces. The Vasari Corridor links it across the Arno with the Pitti Palace."),
    ("Seven Wonders of the Ancient World", "The Seven Wonders of the Ancient World were remarkable constructions listed by "
     "Greek writers: the Great Pyramid of Giza, the Hanging Gardens of Babylon, the Temple of Artemis at Ephesus, the "
     "Statue of Zeus at Olympia, the Mausoleum at Halicarnassus, the Colossus of Rhodes and the Lighthouse of Alexandria. "
     "Only the pyramid survives largely intact; the existence of the Hanging Gardens has never been confirmed. "
     "The list inspired many later collections of wonders."),
    ("New Seven Wonders of the World", "The New Seven Wonders of the World were chosen in a worldwide public poll and "
     "announced in Lisbon on 7 July 2007. They are the Great Wall of China, Petra, Christ the Redeemer, Machu Picchu, "
     "Chichén Itzá, the Colosseum and the Taj Mahal; the Great Pyramid of Giza was given honorary status. "
     "The campaign was organised by a private foundation, and UNESCO distanced itself from the poll."),
    ("Halogen", "The halogens form group 17 of the periodic table: fluorine, chlorine, bromine, iodine and astatine, "
     "together with the synthetic tennessine. Their name means 'salt-former', because they combine with metals to form "
     "salts such as sodium chloride. They are highly reactive nonmetals, and their reactivity decreases down the group. "
     "At room temperature the lighter halogens are gases, bromine is a liquid and iodine a solid."),
    ("Transition metal", "The transition metals occupy the central block of the periodic table, from group 3 to group 12. "
     "They include familiar metals such as iron, copper, silver, gold, nickel, zinc and platinum. Most are hard, dense "
     "and good conductors of heat and electricity, and many form brightly coloured compounds. Several are important "
     "catalysts in industry. Their ability to form ions with different charges gives them a rich chemistry."),
    ("Radioactivity", "Radioactivity is the emission of radiation by unstable atomic nuclei. It was discovered in 1896 when "
     "a French physicist found that uranium salts darkened photographic plates, and within a few years several new "
     "radioactive elements had been found in uranium ores. The three main types of radiation were named alpha, beta and "
     "gamma. The rate of decay of each radioactive isotope is described by its half-life, which can range from fractions "
     "of a second to billions of years."),
    ("Galilean moons", "The Galilean moons are the four largest moons of Jupiter: Io, Europa, Ganymede and Callisto. "
     "They were first observed in January 1610 and were the first objects found to orbit a body other than Earth or the "
     "Sun, which supported the heliocentric model. They can be seen with binoculars. Io, Europa and Ganymede are locked "
     "in an orbital resonance, completing four, two and one orbits in the same time, and several spacecraft have studied them."),
    ("Gas giant", "A gas giant is a large planet composed mainly of hydrogen and helium. In the Solar System, Jupiter and "
     "Saturn are gas giants, while Uranus and Neptune are often called ice giants because they contain more water, ammonia "
     "and methane. Gas giants have no solid surface, strong magnetic fields, many moons and ring systems. "
     "Thousands of giant planets have been discovered orbiting other stars."),
    ("Space probe", "A space probe is an uncrewed spacecraft sent to explore space beyond Earth orbit. Probes have flown past, "
     "orbited or landed on every planet in the Solar System, as well as moons, asteroids and comets. Some are powered by "
     "solar panels, while those travelling far from the Sun use radioisotope generators. The twin Voyager probes, "
     "launched in 1977, have travelled beyond the heliosphere into interstellar space and still send data back to Earth."),
    ("Apollo program", "The Apollo program was the United States human spaceflight programme that landed the first people "
     "on the Moon. It ran from 1961 to 1972 and made six successful landings. The Saturn V rocket launched the crews "
     "from Florida. A fire during a test in 1967 killed the three astronauts of Apollo 1, and the crew of Apollo 13 "
     "survived an explosion on the way to the Moon in 1970. The astronauts brought back 382 kilograms of lunar rock and soil."),
    ("Telecommunication", "Telecommunication is the transmission of information over a distance by electrical or "
     "electromagnetic means. The electric telegraph of the 1830s and 1840s was followed by the telephone in the 1870s and by "
     "wireless radio at the end of the nineteenth century. Television spread after the Second World War, communication "
     "satellites from the 1960s, and the Internet from the 1990s. Undersea cables still carry most international data traffic."),
    ("Big cat", "The term big cat usually refers to the large members of the cat family, especially the lion, tiger, "
     "jaguar, leopard and snow leopard, and sometimes the cheetah and the cougar. The tiger is the largest of them. "
     "Most big cats are solitary hunters, although lions live in groups called prides. Many species are endangered "
     "by habitat loss and poaching. Only some of the big cats are able to roar."),
    ("Antarctica", "Antarctica is the southernmost continent and contains the geographic South Pole. Almost all of it is "
     "covered by an ice sheet averaging more than 1.9 kilometres in thickness, which holds most of the world's fresh water. "
     "It is the coldest, windiest and driest continent. It has no permanent residents, but scientists staff research "
     "stations. The Antarctic Treaty of 1959 reserves the continent for peaceful and scientific use. Penguins, seals and whales live along its coasts."),
    ("Nobel Prize in Literature", "The Nobel Prize in Literature has been awarded since 1901 to authors from any country "
     "who have produced outstanding work. The first laureate was the French poet Sully Prudhomme. The winners are chosen "
     "by the Swedish Academy. Some famous writers, such as Leo Tolstoy, were never awarded the prize, and a few laureates "
     "declined it. Most winners have written in European languages, though the list has broadened over time."),
    ("Russian literature", "Russian literature flourished in the nineteenth century, beginning with the poetry of Alexander "
     "Pushkin, often called the founder of modern Russian literature. The great realist novelists followed, exploring "
     "questions of faith, morality and society in long and ambitious novels. Anton Chekhov transformed the short story and "
     "the drama at the end of the century. In the Soviet period many writers faced censorship, and some published abroad."),
    ("Baroque music", "Baroque music is the style of European music from about 1600 to 1750. It saw the birth of opera, "
     "the oratorio and the concerto, and the development of major and minor keys. Characteristic features include the "
     "basso continuo, an accompaniment played by a keyboard and a bass instrument, and elaborate counterpoint. "
     "Leading composers worked in Italy, Germany, France and England, many of them as church or court musicians."),
    ("Romantic music", "Romantic music is the style that dominated European music in the nineteenth century. Composers "
     "expressed strong personal emotion and were inspired by literature, nature and national folk traditions. "
     "Orchestras grew larger, the piano became the central domestic instrument, and virtuoso performers were celebrated "
     "as stars. New forms such as the symphonic poem and the song cycle appeared, and opera reached a wide public."),
    ("Italian opera", "Italian opera dominated the stages of Europe for more than two centuries after the first operas were "
     "performed in Florence around 1600. In the early nineteenth century the bel canto style emphasised beautiful singing. "
     "Later in the century opera became more dramatic, with stories of love, politics and betrayal, and at the end of the "
     "century the verismo movement brought realistic stories of ordinary people to the stage. Milan's La Scala is the "
     "most famous Italian opera house."),
    ("Dutch Golden Age painting", "Dutch Golden Age painting flourished in the seventeenth century, when the Dutch Republic "
     "was one of the wealthiest nations in Europe. Instead of church commissions, painters sold their work on an open "
     "market to merchants and citizens, and they specialised in portraits, landscapes, still lifes and scenes of daily "
     "life. Leading centres included Amsterdam, Haarlem, Leiden, Utrecht and Delft. Thousands of painters were active, "
     "and millions of paintings were produced."),
    ("Expressionism", "Expressionism was a modernist movement that began in Germany at the start of the twentieth century. "
     "Expressionist artists distorted form and colour to express emotional experience rather than physical reality. "
     "The groups Die Brücke in Dresden and Der Blaue Reiter in Munich were central to the movement, which also shaped "
     "literature, theatre, film and architecture. Earlier painters who explored anxiety and inner life are regarded as its forerunners."),
    ("World Heritage Site", "A World Heritage Site is a landmark or area selected by UNESCO for its cultural, historical or "
     "natural importance. The list was created under a convention adopted in 1972, and the first sites were inscribed in 1978. "
     "More than a thousand sites are now listed, including historic city centres, ancient monuments, national parks and "
     "coral reefs. Sites threatened by war, neglect or development may be placed on a list of World Heritage in Danger."),
]

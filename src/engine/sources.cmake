sf_core_sources(MessagesU.cpp)
sf_win_sources(MessagePayloadU.cpp)

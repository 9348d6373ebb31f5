<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="pt_BR">
<context>
    <name>Composer</name>
    <message>
        <source>          Render error no rendering device found. (Voice File Missing)<byte value="xd"/>
<byte value="xd"/>
                               US Paul, UK Audrey &amp; UK Charles <byte value="xd"/>
 Get these free voices files for Tempovox from </source>
        <translation>          Render error no rendering device found. (Voice File Missing)<byte value="xd"/>
<byte value="xd"/>
                               US Paul, UK Audrey &amp; UK Charles <byte value="xd"/>
 Get these free voices files for Tempovox from </translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>Tempovox</source>
        <translation>Tempovox</translation>
    </message>
    <message>
        <source>Horários</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>toda hora cheia</source>
        <translation>on the hour</translation>
    </message>
    <message>
        <source>cada meia hora</source>
        <translation>at quarter past and to</translation>
    </message>
    <message>
        <source>cada quinze minutos</source>
        <translation>on the half hour</translation>
    </message>
    <message>
        <source>12 hora</source>
        <translation>12 hour</translation>
    </message>
    <message>
        <source>24 hora</source>
        <translation>24 hour</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Inglês</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Español</source>
        <translation>Spanish</translation>
    </message>
    <message>
        <source>Português</source>
        <translation>Portuguese</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>Igualmente adicione</source>
        <translation>Also say</translation>
    </message>
    <message>
        <source>AM/PM</source>
        <translation>AM/PM</translation>
    </message>
    <message>
        <source>Hr / Min</source>
        <translation>Hr / Min</translation>
    </message>
    <message>
        <source>Bell 1 - 2  or  Preâmbulo</source>
        <translation>Bell 1 - 2  or  Greeting</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>Preâmbulo</source>
        <translation>Greeting</translation>
    </message>
    <message>
        <source>wav - mp3</source>
        <translation>wav - mp3</translation>
    </message>
    <message>
        <source>wav</source>
        <translation>wav</translation>
    </message>
    <message>
        <source>mp3</source>
        <translation>mp3</translation>
    </message>
    <message>
        <source>DTMF - Horas locais</source>
        <translation>DTMF - Local time</translation>
    </message>
    <message>
        <source>DTMF Código</source>
        <translation>DTMF code</translation>
    </message>
    <message>
        <source>direção do áudio </source>
        <translation>Voice folder </translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message>
        <source>50%</source>
        <translation>50%</translation>
    </message>
    <message>
        <source>100%</source>
        <translation>100%</translation>
    </message>
    <message>
        <source>Progresso</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>O tempo saiu :</source>
        <translation>Clip time :</translation>
    </message>
    <message>
        <source>Tempo usado :</source>
        <translation>Time played :</translation>
    </message>
    <message>
        <source>Tamanho:</source>
        <translation>Length:</translation>
    </message>
    <message>
        <source>Velocidade</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>200%</source>
        <translation>200%</translation>
    </message>
    <message>
        <source>&lt;50%</source>
        <translation>&lt;50%</translation>
    </message>
    <message>
        <source>PTT OFF</source>
        <translation>PTT OFF</translation>
    </message>
    <message>
        <source>Envia hora (RF)</source>
        <translation>Send time (RF)</translation>
    </message>
    <message>
        <source>Salvar</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Encerrar</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Sobre</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Tem certeza que quer sair?</source>
        <translation>Are you sure you want to quit?</translation>
    </message>
    <message>
        <source>Quit Program - Are You Sure ? Remember To Save Any Changes  </source>
        <translation>Quit Program - Are You Sure ? Remember To Save Any Changes  </translation>
    </message>
    <message>
        <source>Exit Program</source>
        <translation>Exit Program</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>PTT ON</source>
        <translation>PTT ON</translation>
    </message>
</context>
<context>
    <name>Web</name>
    <message>
        <source>Agora</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>Hora da estação</source>
        <translation>Station time</translation>
    </message>
    <message>
        <source>Transmissor</source>
        <translation>Transmitter</translation>
    </message>
    <message>
        <source>no ar</source>
        <translation>on the air</translation>
    </message>
    <message>
        <source>em espera</source>
        <translation>standing by</translation>
    </message>
    <message>
        <source>desde %1</source>
        <translation>since %1</translation>
    </message>
    <message>
        <source>Próximo anúncio</source>
        <translation>Next announcement</translation>
    </message>
    <message>
        <source>em %1</source>
        <translation>in %1</translation>
    </message>
    <message>
        <source>nenhum horário marcado</source>
        <translation>no time marked</translation>
    </message>
    <message>
        <source>Estação</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>livre</source>
        <translation>free</translation>
    </message>
    <message>
        <source>ocupado</source>
        <translation>busy</translation>
    </message>
    <message>
        <source>desconhecido</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>conexões: %1</source>
        <translation>connections: %1</translation>
    </message>
    <message>
        <source>Anúncio em curso</source>
        <translation>Announcement under way</translation>
    </message>
    <message>
        <source>nenhum</source>
        <translation>none</translation>
    </message>
    <message>
        <source>%1 de %2 s</source>
        <translation>%1 of %2 s</translation>
    </message>
    <message>
        <source>Envia hora (RF)</source>
        <translation>Send time (RF)</translation>
    </message>
    <message>
        <source>Parar e liberar o PTT</source>
        <translation>Stop and release PTT</translation>
    </message>
    <message>
        <source>Recusado: %1</source>
        <translation>Refused: %1</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Velocidade</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Configuração</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Horários</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>toda hora cheia</source>
        <translation>on the hour</translation>
    </message>
    <message>
        <source>cada meia hora</source>
        <translation>at quarter past and to</translation>
    </message>
    <message>
        <source>cada quinze minutos</source>
        <translation>on the half hour</translation>
    </message>
    <message>
        <source>12 hora</source>
        <translation>12 hour</translation>
    </message>
    <message>
        <source>24 hora</source>
        <translation>24 hour</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Inglês</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Español</source>
        <translation>Spanish</translation>
    </message>
    <message>
        <source>Português</source>
        <translation>Portuguese</translation>
    </message>
    <message>
        <source>Outro (Inglês, wav)</source>
        <translation>Other (English, wav)</translation>
    </message>
    <message>
        <source>Outro (Inglês, wav ou mp3)</source>
        <translation>Other (English, wav or mp3)</translation>
    </message>
    <message>
        <source>Igualmente adicione</source>
        <translation>Also say</translation>
    </message>
    <message>
        <source>AM/PM</source>
        <translation>AM/PM</translation>
    </message>
    <message>
        <source>Hr / Min</source>
        <translation>Hr / Min</translation>
    </message>
    <message>
        <source>Bell 1 - 2  or  Preâmbulo</source>
        <translation>Bell 1 - 2  or  Greeting</translation>
    </message>
    <message>
        <source>Bell 1</source>
        <translation>Bell 1</translation>
    </message>
    <message>
        <source>Bell 2</source>
        <translation>Bell 2</translation>
    </message>
    <message>
        <source>Preâmbulo</source>
        <translation>Greeting</translation>
    </message>
    <message>
        <source>wav - mp3</source>
        <translation>wav - mp3</translation>
    </message>
    <message>
        <source>wav</source>
        <translation>wav</translation>
    </message>
    <message>
        <source>mp3</source>
        <translation>mp3</translation>
    </message>
    <message>
        <source>DTMF - Horas locais</source>
        <translation>DTMF - Local time</translation>
    </message>
    <message>
        <source>DTMF Código</source>
        <translation>DTMF code</translation>
    </message>
    <message>
        <source>direção do áudio</source>
        <translation>Voice folder</translation>
    </message>
    <message>
        <source>Pasta</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>Salvar</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Salvando…</source>
        <translation>Saving…</translation>
    </message>
    <message>
        <source>Salvo às %1</source>
        <translation>Saved at %1</translation>
    </message>
    <message>
        <source>Nada foi salvo: %1</source>
        <translation>Nothing was saved: %1</translation>
    </message>
    <message>
        <source>Últimos anúncios</source>
        <translation>Last announcements</translation>
    </message>
    <message>
        <source>Nenhum anúncio desde a partida.</source>
        <translation>No announcement since start.</translation>
    </message>
    <message>
        <source>Hora</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Causa</source>
        <translation>Cause</translation>
    </message>
    <message>
        <source>Resultado</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>Duração</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>Clipes</source>
        <translation>Clips</translation>
    </message>
    <message>
        <source>horário</source>
        <translation>schedule</translation>
    </message>
    <message>
        <source>DTMF</source>
        <translation>DTMF</translation>
    </message>
    <message>
        <source>botão</source>
        <translation>button</translation>
    </message>
    <message>
        <source>página</source>
        <translation>page</translation>
    </message>
    <message>
        <source>tocado</source>
        <translation>played</translation>
    </message>
    <message>
        <source>pulado, link ocupado</source>
        <translation>skipped, link busy</translation>
    </message>
    <message>
        <source>falhou</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>tempo de transmissão esgotado</source>
        <translation>transmit time-out</translation>
    </message>
    <message>
        <source>interrompido</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>Mensagens</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>Acesso recusado. Abra o endereço com o token, como o Tempovox o mostrou ao partir.</source>
        <translation>Access refused. Open the address with its token, as Tempovox printed it at start.</translation>
    </message>
    <message>
        <source>Sem contato com a estação; tentando de novo…</source>
        <translation>Lost contact with the station; trying again…</translation>
    </message>
</context>
<context>
    <name>sobre_adicional</name>
    <message>
        <source>Sobre</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Versão 1.0  Revisão 0  -  2/2009</source>
        <translation>Version 1.0  Revision 0  -  2/2009</translation>
    </message>
    <message>
        <source>Criação de:</source>
        <translation>Made by:</translation>
    </message>
    <message>
        <source>Retornar</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Visitar página  Equipe Tempovox</source>
        <translation>Visit page  Equipe Tempovox</translation>
    </message>
    <message>
        <source>Visitar página  Vozes Tempovox</source>
        <translation>Visit page  Vozes Tempovox</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es" sourcelanguage="pt_BR">
<context>
    <name>Composer</name>
    <message>
        <source>          Render error no rendering device found. (Voice File Missing)<byte value="xd"/>
<byte value="xd"/>
                               US Paul, UK Audrey &amp; UK Charles <byte value="xd"/>
 Get these free voices files for Tempovox from </source>
        <translation>          Error de reproducción: no hay dispositivo de sonido. (Falta un archivo de voz)<byte value="xd"/>
<byte value="xd"/>
                               US Paul, UK Audrey &amp; UK Charles <byte value="xd"/>
 Obtenga estos archivos de voz gratuitos para Tempovox en </translation>
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
        <translation>Horarios</translation>
    </message>
    <message>
        <source>toda hora cheia</source>
        <translation>a la hora en punto</translation>
    </message>
    <message>
        <source>cada meia hora</source>
        <translation>y cuarto y menos cuarto</translation>
    </message>
    <message>
        <source>cada quinze minutos</source>
        <translation>y media</translation>
    </message>
    <message>
        <source>12 hora</source>
        <translation>12 horas</translation>
    </message>
    <message>
        <source>24 hora</source>
        <translation>24 horas</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>Inglês</source>
        <translation>Inglés</translation>
    </message>
    <message>
        <source>Español</source>
        <translation>Español</translation>
    </message>
    <message>
        <source>Português</source>
        <translation>Portugués</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Otro</translation>
    </message>
    <message>
        <source>Igualmente adicione</source>
        <translation>Añadir también</translation>
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
        <translation>Campana 1 - 2  o  Saludo</translation>
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
        <translation>Saludo</translation>
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
        <translation>DTMF - Hora local</translation>
    </message>
    <message>
        <source>DTMF Código</source>
        <translation>Código DTMF</translation>
    </message>
    <message>
        <source>direção do áudio </source>
        <translation>Carpeta de voces </translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volumen</translation>
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
        <translation>Progreso</translation>
    </message>
    <message>
        <source>O tempo saiu :</source>
        <translation>Duración :</translation>
    </message>
    <message>
        <source>Tempo usado :</source>
        <translation>Transcurrido :</translation>
    </message>
    <message>
        <source>Tamanho:</source>
        <translation>Tamaño:</translation>
    </message>
    <message>
        <source>Velocidade</source>
        <translation>Velocidad</translation>
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
        <translation>Enviar hora (RF)</translation>
    </message>
    <message>
        <source>Salvar</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Encerrar</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Sobre</source>
        <translation>Acerca de</translation>
    </message>
    <message>
        <source>Tem certeza que quer sair?</source>
        <translation>¿Seguro que quiere salir?</translation>
    </message>
    <message>
        <source>Quit Program - Are You Sure ? Remember To Save Any Changes  </source>
        <translation>Salir del programa - ¿Está seguro? Recuerde guardar los cambios  </translation>
    </message>
    <message>
        <source>Exit Program</source>
        <translation>Salir del programa</translation>
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
        <translation>Ahora</translation>
    </message>
    <message>
        <source>Hora da estação</source>
        <translation>Hora de la estación</translation>
    </message>
    <message>
        <source>Transmissor</source>
        <translation>Transmisor</translation>
    </message>
    <message>
        <source>no ar</source>
        <translation>en el aire</translation>
    </message>
    <message>
        <source>em espera</source>
        <translation>en espera</translation>
    </message>
    <message>
        <source>desde %1</source>
        <translation>desde %1</translation>
    </message>
    <message>
        <source>Próximo anúncio</source>
        <translation>Próximo anuncio</translation>
    </message>
    <message>
        <source>em %1</source>
        <translation>en %1</translation>
    </message>
    <message>
        <source>nenhum horário marcado</source>
        <translation>ningún horario marcado</translation>
    </message>
    <message>
        <source>Estação</source>
        <translation>Estación</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Enlace</translation>
    </message>
    <message>
        <source>livre</source>
        <translation>libre</translation>
    </message>
    <message>
        <source>ocupado</source>
        <translation>ocupado</translation>
    </message>
    <message>
        <source>desconhecido</source>
        <translation>desconocido</translation>
    </message>
    <message>
        <source>conexões: %1</source>
        <translation>conexiones: %1</translation>
    </message>
    <message>
        <source>Anúncio em curso</source>
        <translation>Anuncio en curso</translation>
    </message>
    <message>
        <source>nenhum</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>%1 de %2 s</source>
        <translation>%1 de %2 s</translation>
    </message>
    <message>
        <source>Envia hora (RF)</source>
        <translation>Enviar hora (RF)</translation>
    </message>
    <message>
        <source>Parar e liberar o PTT</source>
        <translation>Detener y liberar el PTT</translation>
    </message>
    <message>
        <source>Recusado: %1</source>
        <translation>Rechazado: %1</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volumen</translation>
    </message>
    <message>
        <source>Velocidade</source>
        <translation>Velocidad</translation>
    </message>
    <message>
        <source>Configuração</source>
        <translation>Configuración</translation>
    </message>
    <message>
        <source>Horários</source>
        <translation>Horarios</translation>
    </message>
    <message>
        <source>toda hora cheia</source>
        <translation>a la hora en punto</translation>
    </message>
    <message>
        <source>cada meia hora</source>
        <translation>y cuarto y menos cuarto</translation>
    </message>
    <message>
        <source>cada quinze minutos</source>
        <translation>y media</translation>
    </message>
    <message>
        <source>12 hora</source>
        <translation>12 horas</translation>
    </message>
    <message>
        <source>24 hora</source>
        <translation>24 horas</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>Inglês</source>
        <translation>Inglés</translation>
    </message>
    <message>
        <source>Español</source>
        <translation>Español</translation>
    </message>
    <message>
        <source>Português</source>
        <translation>Portugués</translation>
    </message>
    <message>
        <source>Outro (Inglês, wav)</source>
        <translation>Otro (inglés, wav)</translation>
    </message>
    <message>
        <source>Outro (Inglês, wav ou mp3)</source>
        <translation>Otro (inglés, wav o mp3)</translation>
    </message>
    <message>
        <source>Igualmente adicione</source>
        <translation>Añadir también</translation>
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
        <translation>Campana 1 - 2  o  Saludo</translation>
    </message>
    <message>
        <source>Bell 1</source>
        <translation>Campana 1</translation>
    </message>
    <message>
        <source>Bell 2</source>
        <translation>Campana 2</translation>
    </message>
    <message>
        <source>Preâmbulo</source>
        <translation>Saludo</translation>
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
        <translation>DTMF - Hora local</translation>
    </message>
    <message>
        <source>DTMF Código</source>
        <translation>Código DTMF</translation>
    </message>
    <message>
        <source>direção do áudio</source>
        <translation>Carpeta de voces</translation>
    </message>
    <message>
        <source>Pasta</source>
        <translation>Carpeta</translation>
    </message>
    <message>
        <source>Salvar</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Salvando…</source>
        <translation>Guardando…</translation>
    </message>
    <message>
        <source>Salvo às %1</source>
        <translation>Guardado a las %1</translation>
    </message>
    <message>
        <source>Nada foi salvo: %1</source>
        <translation>No se guardó nada: %1</translation>
    </message>
    <message>
        <source>Últimos anúncios</source>
        <translation>Últimos anuncios</translation>
    </message>
    <message>
        <source>Nenhum anúncio desde a partida.</source>
        <translation>Ningún anuncio desde el arranque.</translation>
    </message>
    <message>
        <source>Hora</source>
        <translation>Hora</translation>
    </message>
    <message>
        <source>Causa</source>
        <translation>Causa</translation>
    </message>
    <message>
        <source>Resultado</source>
        <translation>Resultado</translation>
    </message>
    <message>
        <source>Duração</source>
        <translation>Duración</translation>
    </message>
    <message>
        <source>Clipes</source>
        <translation>Clips</translation>
    </message>
    <message>
        <source>horário</source>
        <translation>horario</translation>
    </message>
    <message>
        <source>DTMF</source>
        <translation>DTMF</translation>
    </message>
    <message>
        <source>botão</source>
        <translation>botón</translation>
    </message>
    <message>
        <source>página</source>
        <translation>página</translation>
    </message>
    <message>
        <source>tocado</source>
        <translation>reproducido</translation>
    </message>
    <message>
        <source>pulado, link ocupado</source>
        <translation>omitido, enlace ocupado</translation>
    </message>
    <message>
        <source>falhou</source>
        <translation>falló</translation>
    </message>
    <message>
        <source>tempo de transmissão esgotado</source>
        <translation>tiempo de transmisión agotado</translation>
    </message>
    <message>
        <source>interrompido</source>
        <translation>detenido</translation>
    </message>
    <message>
        <source>Mensagens</source>
        <translation>Mensajes</translation>
    </message>
    <message>
        <source>Acesso recusado. Abra o endereço com o token, como o Tempovox o mostrou ao partir.</source>
        <translation>Acceso rechazado. Abra la dirección con su token, tal como Tempovox la mostró al arrancar.</translation>
    </message>
    <message>
        <source>Sem contato com a estação; tentando de novo…</source>
        <translation>Sin contacto con la estación; reintentando…</translation>
    </message>
</context>
<context>
    <name>sobre_adicional</name>
    <message>
        <source>Sobre</source>
        <translation>Acerca de</translation>
    </message>
    <message>
        <source>Versão 1.0  Revisão 0  -  2/2009</source>
        <translation>Versión 1.0  Revisión 0  -  2/2009</translation>
    </message>
    <message>
        <source>Criação de:</source>
        <translation>Creado por:</translation>
    </message>
    <message>
        <source>Retornar</source>
        <translation>Volver</translation>
    </message>
    <message>
        <source>Visitar página  Equipe Tempovox</source>
        <translation>Visitar página  Equipe Tempovox</translation>
    </message>
    <message>
        <source>Visitar página  Vozes Tempovox</source>
        <translation>Visitar página  Vozes Tempovox</translation>
    </message>
</context>
</TS>

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

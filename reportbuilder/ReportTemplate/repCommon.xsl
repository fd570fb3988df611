<?xml version="1.0" encoding="UTF-8"?>
<!-- Shared parts of the report templates: the RTF document frame in the Russian ANSI code page,
     page numbering as the request's FormatSettings asks, and the escaping of every data value
     so that no text of a report can act as an RTF control word or group. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <!-- Note: the template document is loaded without white-space preservation, so an xsl:text
       that holds only blanks or line breaks comes out empty; blanks that delimit a control
       word always stand in one xsl:text with it. -->

  <!-- A data value as RTF text: backslash and braces escaped, line breaks and tabs as blanks. -->
  <xsl:template name="rtf">
    <xsl:param name="s"/>
    <xsl:call-template name="rtf-escape">
      <xsl:with-param name="s" select="translate(string($s), '&#9;&#10;&#13;', '   ')"/>
    </xsl:call-template>
  </xsl:template>

  <!-- Backslash and braces with a backslash before them. A text that holds none is written as it
       is; any other is halved and each half escaped the same way, so the templates nest as deep
       as the logarithm of the text's length, however many of these characters a value holds. -->
  <xsl:template name="rtf-escape">
    <xsl:param name="s"/>
    <xsl:choose>
      <xsl:when test="not(contains($s, '\') or contains($s, '{') or contains($s, '}'))">
        <xsl:value-of select="$s"/>
      </xsl:when>
      <xsl:when test="string-length($s) = 1">
        <xsl:value-of select="concat('\', $s)"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:variable name="half" select="floor(string-length($s) div 2)"/>
        <xsl:call-template name="rtf-escape">
          <xsl:with-param name="s" select="substring($s, 1, $half)"/>
        </xsl:call-template>
        <xsl:call-template name="rtf-escape">
          <xsl:with-param name="s" select="substring($s, $half + 1)"/>
        </xsl:call-template>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Start of the document: fonts, A4 page, page numbering. -->
  <xsl:template name="rtf-begin">
    <xsl:text>{\rtf1\ansi\ansicpg1251\deff0\deflang1049{\fonttbl{\f0\fswiss\fcharset204 Arial;}{\f1\fmodern\fcharset204 Courier New;}}&#10;</xsl:text>
    <xsl:text>\paperw11906\paperh16838\margl1134\margr850\margt1134\margb1134\fs20&#10;</xsl:text>
    <xsl:call-template name="page-numbering"/>
  </xsl:template>

  <xsl:template name="rtf-end">
    <xsl:text>}&#10;</xsl:text>
  </xsl:template>

  <!-- Page numbers in the header (location "top") or footer, with the page count when asked. -->
  <xsl:template name="page-numbering">
    <xsl:variable name="pn" select="(//FormatSettings/PageNumeration)[1]"/>
    <xsl:if test="$pn/@present = 'true'">
      <xsl:choose>
        <xsl:when test="$pn/@location = 'top'"><xsl:text>{\header </xsl:text></xsl:when>
        <xsl:otherwise><xsl:text>{\footer </xsl:text></xsl:otherwise>
      </xsl:choose>
      <xsl:text>\pard\qr\fs18 Страница {\field{\*\fldinst PAGE}{\fldrslt 1}}</xsl:text>
      <xsl:if test="$pn/@allPagesNum = 'true'">
        <xsl:text> из {\field{\*\fldinst NUMPAGES}{\fldrslt 1}}</xsl:text>
      </xsl:if>
      <xsl:text>\par}&#10;</xsl:text>
    </xsl:if>
  </xsl:template>

  <!-- A centred bold title. -->
  <xsl:template name="title">
    <xsl:param name="text"/>
    <xsl:text>\pard\qc\sb120\sa240\b\fs28 </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$text"/></xsl:call-template>
    <xsl:text>\b0\fs20\par&#10;</xsl:text>
  </xsl:template>

  <!-- One line "label: value". -->
  <xsl:template name="field">
    <xsl:param name="label"/>
    <xsl:param name="value"/>
    <xsl:text>\pard\ql\sa60\b </xsl:text>
    <xsl:value-of select="$label"/>
    <xsl:text>:\b0  </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$value"/></xsl:call-template>
    <xsl:text>\par&#10;</xsl:text>
  </xsl:template>

  <!-- The Error element of a failed source, when the response has one. -->
  <xsl:template name="error-section">
    <xsl:for-each select="//ICheck/Error">
      <xsl:text>\pard\ql\sb240\sa60\b Отчёт сформирован не полностью.\b0\par&#10;</xsl:text>
      <xsl:call-template name="field">
        <xsl:with-param name="label">Код ошибки</xsl:with-param>
        <xsl:with-param name="value" select="Code"/>
      </xsl:call-template>
      <xsl:call-template name="field">
        <xsl:with-param name="label">Описание</xsl:with-param>
        <xsl:with-param name="value" select="Description"/>
      </xsl:call-template>
    </xsl:for-each>
  </xsl:template>

  <!-- Any section of a response whose layout the template does not know: every element with
       its attributes and text, indented by its depth. -->
  <xsl:template name="generic-section">
    <xsl:param name="depth" select="0"/>
    <xsl:for-each select="*[not(self::FormatSettings or self::FormatOutput)]">
      <xsl:text>\pard\ql\li</xsl:text>
      <xsl:value-of select="$depth * 360"/>
      <xsl:text>\sa40\b </xsl:text>
      <xsl:call-template name="rtf"><xsl:with-param name="s" select="local-name()"/></xsl:call-template>
      <xsl:text>\b0 </xsl:text>
      <xsl:for-each select="@*">
        <xsl:text>; </xsl:text>
        <xsl:call-template name="rtf"><xsl:with-param name="s" select="local-name()"/></xsl:call-template>
        <xsl:text>: </xsl:text>
        <xsl:call-template name="rtf"><xsl:with-param name="s" select="."/></xsl:call-template>
      </xsl:for-each>
      <xsl:if test="normalize-space(text()) != ''">
        <xsl:text>: </xsl:text>
        <xsl:call-template name="rtf"><xsl:with-param name="s" select="normalize-space(text())"/></xsl:call-template>
      </xsl:if>
      <xsl:text>\par&#10;</xsl:text>
      <xsl:call-template name="generic-section">
        <xsl:with-param name="depth" select="$depth + 1"/>
      </xsl:call-template>
    </xsl:for-each>
  </xsl:template>

</xsl:stylesheet>

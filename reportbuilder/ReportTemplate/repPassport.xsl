<?xml version="1.0" encoding="UTF-8"?>
<!-- The software passport of the workstation (report type "PassportSW"). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="repCommon.xsl"/>
  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:variable name="body" select="/Report/Body/PassportSW"/>
    <xsl:call-template name="rtf-begin"/>
    <xsl:call-template name="title">
      <xsl:with-param name="text">ПАСПОРТ ПРОГРАММНОГО ОБЕСПЕЧЕНИЯ</xsl:with-param>
    </xsl:call-template>
    <xsl:call-template name="field">
      <xsl:with-param name="label">Рабочая станция</xsl:with-param>
      <xsl:with-param name="value" select="$body/Caption/Workstation"/>
    </xsl:call-template>
    <xsl:call-template name="field">
      <xsl:with-param name="label">Операционная система</xsl:with-param>
      <xsl:with-param name="value" select="$body/Caption/OSType"/>
    </xsl:call-template>
    <xsl:text>\pard\ql\sb240\sa120\b Установленное программное обеспечение\b0\par&#10;</xsl:text>
    <xsl:call-template name="row">
      <xsl:with-param name="bold" select="true()"/>
      <xsl:with-param name="c1">№</xsl:with-param>
      <xsl:with-param name="c2">Наименование</xsl:with-param>
      <xsl:with-param name="c3">Производитель</xsl:with-param>
      <xsl:with-param name="c4">Размер</xsl:with-param>
      <xsl:with-param name="c5">Контрольная сумма (CRC32)</xsl:with-param>
    </xsl:call-template>
    <xsl:for-each select="$body/Software/SoftwareItem">
      <xsl:call-template name="row">
        <xsl:with-param name="c1" select="position()"/>
        <xsl:with-param name="c2" select="ProductName"/>
        <xsl:with-param name="c3" select="Company"/>
        <xsl:with-param name="c4" select="Size"/>
        <xsl:with-param name="c5">
          <xsl:value-of select="CRC"/>
          <!-- A file of the product could not be read (a product without files has no mark). -->
          <xsl:if test="CRC/@unreadable = 'true'"> (ошибка чтения файла)</xsl:if>
        </xsl:with-param>
      </xsl:call-template>
    </xsl:for-each>
    <xsl:text>\pard\ql\sa60\par&#10;</xsl:text>
    <xsl:call-template name="field">
      <xsl:with-param name="label">Всего программ</xsl:with-param>
      <xsl:with-param name="value" select="count($body/Software/SoftwareItem)"/>
    </xsl:call-template>
    <xsl:call-template name="error-section"/>
    <xsl:call-template name="rtf-end"/>
  </xsl:template>

  <!-- One row of the software table; every cell's text escaped. -->
  <xsl:template name="row">
    <xsl:param name="bold" select="false()"/>
    <xsl:param name="c1"/><xsl:param name="c2"/><xsl:param name="c3"/><xsl:param name="c4"/><xsl:param name="c5"/>
    <xsl:text>\trowd\trgaph60\trleft0</xsl:text>
    <xsl:text>\clbrdrt\brdrs\clbrdrl\brdrs\clbrdrb\brdrs\clbrdrr\brdrs\cellx600</xsl:text>
    <xsl:text>\clbrdrt\brdrs\clbrdrl\brdrs\clbrdrb\brdrs\clbrdrr\brdrs\cellx4600</xsl:text>
    <xsl:text>\clbrdrt\brdrs\clbrdrl\brdrs\clbrdrb\brdrs\clbrdrr\brdrs\cellx7200</xsl:text>
    <xsl:text>\clbrdrt\brdrs\clbrdrl\brdrs\clbrdrb\brdrs\clbrdrr\brdrs\cellx8400</xsl:text>
    <xsl:text>\clbrdrt\brdrs\clbrdrl\brdrs\clbrdrb\brdrs\clbrdrr\brdrs\cellx9900&#10;</xsl:text>
    <xsl:text>\pard\intbl\ql </xsl:text>
    <xsl:if test="$bold"><xsl:text>\b </xsl:text></xsl:if>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$c1"/></xsl:call-template>
    <xsl:text>\cell </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$c2"/></xsl:call-template>
    <xsl:text>\cell </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$c3"/></xsl:call-template>
    <xsl:text>\cell </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$c4"/></xsl:call-template>
    <xsl:text>\cell </xsl:text>
    <xsl:call-template name="rtf"><xsl:with-param name="s" select="$c5"/></xsl:call-template>
    <xsl:text>\cell\b0\row&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
